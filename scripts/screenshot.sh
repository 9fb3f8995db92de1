#!/usr/bin/env bash
# Takes a picture of the test window for the README: dovlek DEBUG under a private Xvfb, with a
# window manager that draws the caption and a CJK font for "ﾃｽﾄ画面" and "検証", a sample query
# typed into the box and laid out by the button.
# Usage: scripts/screenshot.sh [DOVLEK [OUT.png]]
#   DOVLEK   a built dovlek with the keyword file beside it (default: build-run/app/dovlek, built
#            here as run.sh does when missing)
#   OUT.png  default: docs/images/test-window.png
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh build screenshot >&2

dovlek=${1:-build-run/app/dovlek}
out=${2:-docs/images/test-window.png}
if [[ ! -x $dovlek && $# -eq 0 ]]; then
    cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=Release -DPELLOMAR_TESTS=OFF >/dev/null
    cmake --build build-run --target dovlek >&2
fi
[[ -x $dovlek ]] || { echo "screenshot.sh: no program at $dovlek" >&2; exit 2; }
query='select o.id, c.name from orders o join customers c on c.id = o.customer_id where o.total > 100'

work=$(mktemp -d /tmp/pellomar-shot-XXXXXX)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

# Xvfb picks a free display itself and writes its number to the file.
Xvfb -displayfd 3 -screen 0 480x360x24 -dpi 96 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s $work/display ]] && break; sleep 0.1; done
export DISPLAY=:$(head -1 "$work/display")
unset WAYLAND_DISPLAY

# A plain light desktop, and a window manager that draws the title with the system's fonts.
xsetroot -solid '#dfe3e8' 2>/dev/null || true
HOME=$work openbox --sm-disable >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
    sleep 0.1
done

LANG=C.UTF-8 "$dovlek" DEBUG >/dev/null 2>&1 &
pids+=($!)
win=$(timeout 20 xdotool search --sync --onlyvisible --name 'ﾃｽﾄ画面' | head -1)
xdotool windowmove --sync "$win" 24 24
xdotool windowactivate --sync "$win" 2>/dev/null || xdotool windowfocus --sync "$win"
sleep 0.5
xdotool type --delay 5 --window "$win" "$query"
sleep 0.3

# Press the button: it sits at the bottom right of the window, 4 px from the right edge and 8 px
# from the bottom at 96 dpi, 93 x 25 px.
eval "$(xdotool getwindowgeometry --shell "$win")"
xdotool mousemove --window "$win" $((WIDTH - 4 - 46)) $((HEIGHT - 8 - 12)) click 1
sleep 0.5
xdotool mousemove 470 350   # keep the pointer out of the picture

# Crop the screen to the window with its frame. xwininfo, not xdotool, for the position:
# xdotool counts the frame twice.
read -r left right top bottom < <(xprop -id "$win" _NET_FRAME_EXTENTS |
    sed -n 's/.*= *\([0-9]*\), *\([0-9]*\), *\([0-9]*\), *\([0-9]*\).*/\1 \2 \3 \4/p')
info=$(xwininfo -id "$win")
X=$(sed -n 's/.*Absolute upper-left X: *//p' <<<"$info")
Y=$(sed -n 's/.*Absolute upper-left Y: *//p' <<<"$info")
WIDTH=$(sed -n 's/.*Width: *//p' <<<"$info")
HEIGHT=$(sed -n 's/.*Height: *//p' <<<"$info")
mkdir -p "$(dirname "$out")"
xwd -root -silent | xwdtopnm 2>/dev/null |
    pamcut -left $((X - left)) -top $((Y - top)) \
        -width $((WIDTH + left + right)) -height $((HEIGHT + top + bottom)) |
    pnmtopng >"$out"
echo "screenshot.sh: wrote $out" >&2

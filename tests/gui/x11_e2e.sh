#!/usr/bin/env bash
# End-to-end tests of dovlek on X11, as a user's desktop would run it: a real X server (Xvfb,
# started here on a free display), real clipboard clients (xclip, xclipboard) and real input
# (xdotool). CI has no window manager, so windows get the focus with `xdotool windowfocus`.
# Usage: x11_e2e.sh CASE PATH/TO/dovlek
#        x11_e2e.sh --run PROGRAM    (runs a test program of its own under the server)
set -euo pipefail

case_name=$1
built_dovlek=$2
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}

tmp=$(mktemp -d)
xvfb_pid=
started_pids=()
cleanup() {
    local pid
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    # Ending the server ends every client still connected to it: xclip's servers, and a dovlek
    # that still serves the clipboard.
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL [$case_name]: $*" >&2
    exit 1
}
step() { echo "[$case_name] $*"; }

# Xvfb picks a free display itself and writes its number once it accepts connections.
start_xvfb() {
    Xvfb -displayfd 9 -nolisten tcp -noreset -screen 0 1280x1024x24 -dpi 96 \
        9>"$tmp/display" >"$tmp/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local i
    for ((i = 0; i < 200; i++)); do
        if [[ -s $tmp/display ]] && grep -q '^[0-9][0-9]*$' "$tmp/display"; then
            export DISPLAY=:$(cat "$tmp/display")
            return
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    cat "$tmp/xvfb.log" >&2
    fail "Xvfb did not start"
}

# dovlek reads KEYWORD_ARRANGE.CSV from its own directory: each case gets a copy of its own.
install_dovlek() {
    mkdir -p "$tmp/bin"
    cp "$built_dovlek" "$tmp/bin/dovlek"
    cp "$(dirname "$built_dovlek")"/libpellomar-{clipboard,desktop}.so "$tmp/bin/"
    dovlek=$tmp/bin/dovlek
}
write_rows() {  # write_rows ROW... (CSV lines after the header)
    { echo "KEYWORD,INDENT,LINEHEAD"; printf '%s\r\n' "$@"; } >"$tmp/bin/KEYWORD_ARRANGE.CSV"
}
worked_example_rows() {
    write_rows 'select,1,1' 'from,1,1' 'where,1,1' '",",1,0'
}

# xclip -i forks a process that serves the clipboard; its output must not hold ctest's pipes.
clip_set() {  # clip_set FILE [TYPE]
    xclip -selection clipboard ${2:+-t "$2"} -i "$1" >/dev/null 2>&1
}
clip_set_text() {  # clip_set_text TEXT
    printf '%s' "$1" >"$tmp/clip-in"
    clip_set "$tmp/clip-in"
}
clip_get() {  # clip_get [TYPE]
    timeout 20 xclip -selection clipboard ${1:+-t "$1"} -o
}
clipboard_is() {  # clipboard_is TEXT
    local got
    got=$(clip_get 2>/dev/null; echo .)
    [[ ${got%.} == "$1" ]]
}
expect_clipboard() {  # expect_clipboard TEXT
    local got
    got=$(clip_get; echo .)
    got=${got%.}
    [[ $got == "$1" ]] || fail "clipboard holds $(printf '%q' "$got"), expected $(printf '%q' "$1")"
}

# The processes of this case's dovlek that are alive (the serving child), zombies left out.
serving_pids() {
    local pid
    for pid in $(pgrep -f "^$tmp/bin/dovlek" || true); do
        [[ $(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null) =~ ^[^ZX]$ ]] && echo "$pid"
    done
    return 0
}
wait_until() {  # wait_until SECONDS COMMAND...: polls until COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}
no_server() { [[ -z $(serving_pids) ]]; }

# Runs dovlek to its end, with a limit; sets status, out, err.
run_dovlek() {
    set +e
    timeout 30 "$dovlek" "$@" >"$tmp/out" 2>"$tmp/err"
    status=$?
    set -e
    out=$(cat "$tmp/out")
    err=$(cat "$tmp/err")
}
expect_status() {
    [[ $status == "$1" ]] || fail "dovlek exited with $status, expected $1; stderr: $err"
}

find_window() {  # find_window NAME-REGEX: prints the id of the first window so named
    timeout 20 xdotool search --sync --onlyvisible --name "$1" 2>/dev/null | head -1
}
has_focus() { [[ $(timeout 5 xdotool getwindowfocus 2>/dev/null) == "$1" ]]; }
# Gives a window the focus as a window manager would; CI has none (windowactivate needs one).
focus_window() {
    timeout 10 xdotool windowfocus "$1" || fail "xdotool windowfocus failed"
    wait_until 10 has_focus "$1" || fail "window $1 did not get the focus"
}
# Waits for a started dovlek to end and sets status.
wait_dovlek() {
    local pid=$1
    timeout 20 tail --pid="$pid" -f /dev/null || fail "dovlek did not end"
    set +e
    wait "$pid"
    status=$?
    set -e
    err=$(cat "$tmp/err")
}

start_xvfb
if [[ $case_name == --run ]]; then
    "$2"
    exit
fi
install_dovlek

case $case_name in
worked_example)
    worked_example_rows
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 0
    [[ -z $out && -z $err ]] || fail "unexpected output: $out $err"
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

result_outlives_dovlek)
    worked_example_rows
    clip_set_text 'select a from t'
    # A caller that reads dovlek's output through a pipe gets its end when dovlek returns,
    # although the serving child lives on.
    output=$(timeout 20 "$dovlek" 2>&1) || fail "dovlek failed or hung: $output"
    [[ -z $output ]] || fail "unexpected output: $output"
    [[ -n $(serving_pids) ]] || fail "no process serves the result"
    sleep 1
    expect_clipboard $'select\n    a\nfrom\n    t'
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

serving_ends_when_taken)
    worked_example_rows
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 0
    [[ -n $(serving_pids) ]] || fail "no process serves the result"
    clip_set_text 'something else'
    wait_until 10 no_server || fail "dovlek still serves after another program took the clipboard"
    expect_clipboard 'something else'
    ;;

two_megabytes)
    # Keywords that do not occur, so that the text comes back as it went: the transfer (Qt's
    # incremental transfers both ways) is what is tested.
    write_rows 'zqxjkeyword,1,1' '"@@",1,0'
    /usr/bin/python3 - "$tmp/big" <<'PY'
import random, sys
random.seed(4)
words = ["alpha", "beta", "gamma", "42", "(y)", "z.w", "=", "OR", "AND", "\u00e9t\u00e9", "\u691c\u8a3c"]
lines, size, i = [], 0, 0
while size < 2 * 1024 * 1024:
    line = " ".join(random.choice(words) for _ in range(random.randint(1, 14)))
    if i % 7 == 0:
        line = "    " + line
    lines.append(line)
    size += len(line.encode()) + 1
    i += 1
open(sys.argv[1], "w", encoding="utf-8").write("\n".join(lines))
PY
    clip_set "$tmp/big" UTF8_STRING
    run_dovlek
    expect_status 0
    clip_get >"$tmp/big-out"
    cmp "$tmp/big" "$tmp/big-out" || fail "the 2 MB text did not come back whole"
    ;;

crlf_on_clipboard)
    worked_example_rows
    clip_set_text $'select a\r\nfrom t'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

image_left_alone)
    worked_example_rows
    png=$here/../../app/resources/pellomar-32.png
    clip_set "$png" image/png
    run_dovlek
    expect_status 0
    [[ -z $out && -z $err ]] || fail "unexpected output: $out $err"
    clip_get image/png >"$tmp/png-out"
    cmp "$png" "$tmp/png-out" || fail "the image on the clipboard changed"
    no_server || fail "dovlek took the clipboard"
    ;;

empty_clipboard_left_alone)
    worked_example_rows
    run_dovlek
    expect_status 0
    [[ -z $out && -z $err ]] || fail "unexpected output: $out $err"
    no_server || fail "dovlek took the clipboard"
    ;;

lower_case_debug_is_clipboard_mode)
    worked_example_rows
    clip_set_text 'select a from t'
    run_dovlek debug
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

missing_keyword_file_box)
    clip_set_text 'select a from t'
    "$dovlek" >"$tmp/out" 2>"$tmp/err" &
    pid=$!
    started_pids+=("$pid")
    step "waiting for the box"
    box=$(find_window '^Pellomar$') || true
    [[ -n $box ]] || fail "no window titled Pellomar appeared"
    kill -0 "$pid" 2>/dev/null || fail "dovlek returned before the box was closed"
    # The box takes the focus itself (there is no window manager to give it).
    wait_until 10 has_focus "$box" || fail "the box did not take the focus"
    focus_window "$box"
    step "pressing Return"
    timeout 10 xdotool key Return
    wait_dovlek "$pid"
    expect_status 1
    [[ $err == "Pellomar: 53:File not found: $tmp/bin/KEYWORD_ARRANGE.CSV" ]] ||
        fail "unexpected standard error: $err"
    expect_clipboard 'select a from t'
    no_server || fail "dovlek took the clipboard"
    ;;

test_window)
    worked_example_rows
    clip_set_text 'left alone'
    "$dovlek" /DEBUG x >"$tmp/out" 2>"$tmp/err" &
    pid=$!
    started_pids+=("$pid")
    step "waiting for the window"
    window=$(find_window $'^\uff83\uff7d\uff84\u753b\u9762$') || true
    [[ -n $window ]] || fail "no window titled ﾃｽﾄ画面 appeared"
    expect_clipboard 'left alone'
    eval "$(timeout 10 xdotool getwindowgeometry --shell "$window")"
    [[ $WIDTH == 325 && $HEIGHT == 233 ]] || fail "window is ${WIDTH}x$HEIGHT, expected 325x233"
    focus_window "$window"
    # The focus starts in txtQry.
    step "typing"
    timeout 30 xdotool type --delay 20 'select a from t'
    # cmdTest sits at (3420, 3000) twips, 1395 × 375: its middle is (274, 212) at 96 DPI.
    step "pressing the button"
    timeout 10 xdotool mousemove --window "$window" 274 212 click 1
    # Read the box back the way a user would: select all and copy.
    step "copying the box's text"
    timeout 10 xdotool mousemove --window "$window" 100 100 click 1 key ctrl+a key ctrl+c
    wait_until 10 clipboard_is $'select\n    a\nfrom\n    t' || true
    expect_clipboard $'select\n    a\nfrom\n    t'
    step "closing the window"
    timeout 10 /usr/bin/python3 "$here/close_window.py" "$window"
    wait_dovlek "$pid"
    expect_status 0
    ;;

run_while_serving)
    # The previous result is still being served when the hotkey is pressed again: the new run
    # reads it from the old server, takes the clipboard over, and the old server ends.
    worked_example_rows
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 0
    first=$(serving_pids)
    [[ -n $first ]] || fail "no process serves the first result"
    run_dovlek
    expect_status 0
    wait_until 10 eval '! kill -0 '"$first"' 2>/dev/null' || fail "the first server did not end"
    [[ -n $(serving_pids) ]] || fail "no process serves the second result"
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

two_at_once)
    # Two presses at the same moment: both read the same text and lay it out alike; whichever
    # writes last keeps the clipboard, and nothing is lost or mixed.
    worked_example_rows
    clip_set_text 'select a, b from t where x = 1'
    "$dovlek" >"$tmp/out1" 2>"$tmp/err1" &
    p1=$!
    "$dovlek" >"$tmp/out2" 2>"$tmp/err2" &
    p2=$!
    wait "$p1" || fail "first run failed: $(cat "$tmp/err1")"
    wait "$p2" || fail "second run failed: $(cat "$tmp/err2")"
    expect_clipboard $'select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1'
    at_most_one_server() { (($(serving_pids | wc -l) <= 1)); }
    wait_until 10 at_most_one_server || fail "both runs still serve: $(serving_pids | tr "\n" " ")"
    ;;

hostile_clipboard_texts)
    # What a clipboard may hold beyond plain SQL comes back laid out, nothing lost.
    worked_example_rows
    check_text() {  # check_text INPUT EXPECTED
        printf '%s' "$1" >"$tmp/clip-in"
        clip_set "$tmp/clip-in" UTF8_STRING
        run_dovlek
        expect_status 0
        clip_get >"$tmp/clip-out"
        printf '%s' "$2" >"$tmp/clip-want"
        cmp -s "$tmp/clip-out" "$tmp/clip-want" ||
            fail "$(printf '%q' "$1") came back as $(od -c "$tmp/clip-out" | head -5)"
    }
    step "astral characters and a literal"
    check_text $'select \U1F600, \'\U1F600, x\' from t' \
        $'select\n    \U1F600,\n    \'\U1F600, x\'\nfrom\n    t'
    step "only spaces"
    check_text '     ' '     '
    step "a TAB-separated line"
    check_text $'select a,\tb from t' $'select\n    a,\n    b\nfrom\n    t'
    step "100,000 commas"
    /usr/bin/python3 -c 'import sys; sys.stdout.write("x" + ",y" * 100000)' >"$tmp/commas-in"
    /usr/bin/python3 -c 'import sys; sys.stdout.write("x" + ",\n    y" * 100000)' >"$tmp/commas-want"
    clip_set "$tmp/commas-in" UTF8_STRING
    run_dovlek
    expect_status 0
    clip_get >"$tmp/commas-out"
    cmp -s "$tmp/commas-out" "$tmp/commas-want" || fail "100,000 commas did not come back laid out"
    ;;

clipboard_manager)
    # xclipboard (x11-apps) takes every new clipboard content over, as a clipboard manager
    # does; the serving child may then end, and the result stays pastable.
    worked_example_rows
    xclipboard >/dev/null 2>&1 &
    started_pids+=("$!")
    sleep 0.5
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 0
    wait_until 10 no_server || fail "dovlek still serves although a clipboard manager took over"
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

no_display_for_the_child)
    worked_example_rows
    # A display that nothing serves: the child cannot start Qt and dies before reporting.
    DISPLAY=:$(( $(cat "$tmp/display") + 1000 )) run_dovlek
    expect_status 2
    [[ $err == *"could not connect to display"* ]] || fail "stderr does not say why: $err"
    [[ $err == *"before it reported"* ]] || fail "stderr does not say the child died: $err"
    ;;

desktop_module_missing)
    # dovlek links no Qt; without its clipboard module beside it, it says so and touches nothing.
    worked_example_rows
    mv "$tmp/bin/libpellomar-clipboard.so" "$tmp/clipboard.so"
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 2
    [[ $err == "Pellomar: 53:File not found: the desktop front end cannot be loaded: "*"libpellomar-clipboard.so"* ]] ||
        fail "unexpected standard error: $err"
    expect_clipboard 'select a from t'
    # The widgets are only needed for a box: a request that needs none still works.
    mv "$tmp/clipboard.so" "$tmp/bin/libpellomar-clipboard.so"
    rm "$tmp/bin/libpellomar-desktop.so"
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t'
    # A failure then has no box, but standard error still names it, and the text stays.
    rm "$tmp/bin/KEYWORD_ARRANGE.CSV"
    clip_set_text 'select b from t'
    run_dovlek
    expect_status 1
    [[ $err == "Pellomar: 53:File not found: $tmp/bin/KEYWORD_ARRANGE.CSV" ]] ||
        fail "unexpected standard error: $err"
    expect_clipboard 'select b from t'
    ;;

*)
    fail "unknown case"
    ;;
esac
echo "ok [$case_name]"

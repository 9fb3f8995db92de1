#!/usr/bin/env bash
# dovlek as a filter in an X11 session: a file on standard input is laid out onto standard
# output and the clipboard is left alone; a pipe on standard input keeps clipboard mode.
# A real X server (Xvfb, on a free display) and xclip as the other clipboard client.
# Usage: x11_filter.sh PATH/TO/dovlek
set -euo pipefail

built_dovlek=$1
export LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
unset WAYLAND_DISPLAY

tmp=$(mktemp -d)
xvfb_pid=
cleanup() {
    # Ending the server ends its clients: xclip's servers, and a dovlek that serves a result.
    [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

Xvfb -displayfd 9 -nolisten tcp -noreset -screen 0 640x480x24 9>"$tmp/display" \
    >"$tmp/xvfb.log" 2>&1 &
xvfb_pid=$!
for ((i = 0; i < 200; i++)); do
    grep -qs '^[0-9][0-9]*$' "$tmp/display" && break
    sleep 0.05
done
grep -qs '^[0-9][0-9]*$' "$tmp/display" || { cat "$tmp/xvfb.log" >&2; fail "Xvfb did not start"; }
export DISPLAY=:$(cat "$tmp/display")

# A copy of dovlek and its desktop parts beside the keyword file it reads.
mkdir "$tmp/bin"
cp "$built_dovlek" "$(dirname "$built_dovlek")"/libpellomar-*.so "$tmp/bin/"
printf 'KEYWORD,INDENT,LINEHEAD\r\nselect,1,1\r\nfrom,1,1\r\n' >"$tmp/bin/KEYWORD_ARRANGE.CSV"
dovlek=$tmp/bin/dovlek

clip_set() { printf '%s' "$1" | xclip -selection clipboard -i >/dev/null 2>&1; }
clip_get() { timeout 20 xclip -selection clipboard -o; }

echo "a file on standard input: laid out onto standard output, the clipboard untouched"
clip_set 'select b from u'
printf 'select a from t\n' >"$tmp/q.sql"
status=0
timeout 30 "$dovlek" <"$tmp/q.sql" >"$tmp/q.sql.new" 2>"$tmp/err" || status=$?
((status == 0)) || fail "status $status: $(cat "$tmp/err")"
[[ $(cat "$tmp/q.sql.new") == $'select\n    a\nfrom\n    t' ]] ||
    fail "standard output holds $(printf '%q' "$(cat "$tmp/q.sql.new")")"
[[ $(clip_get) == 'select b from u' ]] || fail "the clipboard changed to $(printf '%q' "$(clip_get)")"

echo "a pipe on standard input: clipboard mode"
status=0
printf 'select a from t\n' | timeout 30 "$dovlek" >"$tmp/out" 2>"$tmp/err" || status=$?
((status == 0)) || fail "status $status: $(cat "$tmp/err")"
[[ ! -s $tmp/out ]] || fail "clipboard mode wrote to standard output: $(cat "$tmp/out")"
[[ $(clip_get) == $'select\n    b\nfrom\n    u' ]] ||
    fail "the clipboard holds $(printf '%q' "$(clip_get)")"
echo "all checks passed"

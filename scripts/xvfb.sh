# Sourced by the scripts that need an X server of their own (tests, benchmark, Windows tests).
#
# start_xvfb DIR: starts Xvfb on a display it picks itself (-displayfd), waits until it accepts
# connections, exports DISPLAY and sets xvfb_pid; DIR holds its log. -noreset: a desktop's server
# does not reset when its last client leaves, and a reset between runs would be timed or would
# drop the clipboard. Returns 1, with the server's log on standard error, when it does not start.
start_xvfb() {
    local dir=$1 i
    Xvfb -displayfd 9 -nolisten tcp -noreset -screen 0 1280x1024x24 -dpi 96 \
        9>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for ((i = 0; i < 200; i++)); do
        if grep -qs '^[0-9][0-9]*$' "$dir/xvfb.display"; then
            export DISPLAY=:$(cat "$dir/xvfb.display")
            return 0
        fi
        kill -0 "$xvfb_pid" 2>/dev/null || break
        sleep 0.05
    done
    cat "$dir/xvfb.log" >&2
    return 1
}

# stop_xvfb: ends the server started above, and with it every client still connected to it.
stop_xvfb() {
    if [[ -n ${xvfb_pid:-} ]]; then
        kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
        xvfb_pid=
    fi
    return 0
}

# Sourced by every end-to-end suite (tests/app/linux/x11_e2e.sh and wayland_e2e.sh,
# tests/app/windows/wine_e2e.sh, tests/packaging/common.sh): what they all do the same way.
#   e2e_start [HOOK...]   $tmp (a scratch folder) and started_pids; at the end of the case every
#                         started process is ended, each HOOK runs, and $tmp goes
#   fail, step            a case's failure (exit 1) and progress lines, named by $case_name
#   wait_until SECONDS CMD...
#   write_rows ROW..., worked_example_rows   the keyword file beside $dovlek
#   start_xvfb DIR, stop_xvfb                an X server of the case's own (scripts/xvfb.sh)
#   find_window, clip_set, clip_set_text, clip_get, clipboard_is, expect_clipboard
#                         the X desktop driven from outside, as another program of the user's
#                         desktop would: the clipboard with xclip, windows found with xdotool.
# CLIP_SETTLE: seconds to wait after xclip owns a new content before going on (Wine's desktop
# process learns of a new X owner a moment later); none by default.

source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/xvfb.sh"

e2e_start() {
    tmp=$(mktemp -d)
    started_pids=()
    e2e_hooks=("$@")
    trap e2e_end EXIT
}
e2e_end() {
    local pid hook
    for pid in "${started_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for hook in "${e2e_hooks[@]}"; do "$hook"; done
    rm -rf "$tmp"
}

fail() {
    echo "FAIL [$case_name]: $*" >&2
    exit 1
}
step() { echo "[$case_name] $*"; }

wait_until() {  # wait_until SECONDS COMMAND...: polls until COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# dovlek reads KEYWORD_ARRANGE.CSV from its own directory; each case gives it one of its own.
write_rows() {  # write_rows ROW... (CSV lines after the header)
    { printf 'KEYWORD,INDENT,LINEHEAD\r\n'; printf '%s\r\n' "$@"; } \
        >"$(dirname "$dovlek")/KEYWORD_ARRANGE.CSV"
}
worked_example_rows() {
    write_rows 'select,1,1' 'from,1,1' 'where,1,1' '",",1,0'
}

find_window() {  # find_window NAME-REGEX: prints the id of the first visible window so named
    # Polled rather than --sync: a search fails outright when a window it looks at goes away
    # meanwhile (the box of the run before, say).
    local deadline=$((SECONDS + 30)) found
    while ((SECONDS < deadline)); do
        found=$(timeout 5 xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1) || true
        [[ -n $found ]] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}

# xclip -i forks a process that serves the clipboard; its output must not hold ctest's pipes.
# That process takes the clipboard only after xclip has returned: wait until it serves the file,
# or a dovlek started next would read the old content and, rightly, refuse to overwrite the new.
clip_set() {  # clip_set FILE [TYPE]
    xclip -selection clipboard ${2:+-t "$2"} -i "$1" >/dev/null 2>&1
    serves_file() { timeout 20 xclip -selection clipboard ${2:+-t "$2"} -o 2>/dev/null | cmp -s - "$1"; }
    wait_until 10 serves_file "$@" || fail "xclip did not take the clipboard"
    sleep "${CLIP_SETTLE:-0}"
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
expect_clipboard() {  # expect_clipboard TEXT: read once (Wine keeps a result readable briefly)
    local got
    got=$(clip_get 2>/dev/null; echo .)
    got=${got%.}
    [[ $got == "$1" ]] || fail "clipboard holds $(printf '%q' "$got"), expected $(printf '%q' "$1")"
}

# A second local user (nobody) who tries to hold up this user's presses: binds the abstract
# names that the turn-taking lock once used, one per KEY, and tries to create a lock file in the
# runtime directory RUN. Returns once that process holds the names; fails if it could create
# the file (other_user_holds_turns RUN KEY...). Needs root.
other_user_holds_turns() {
    local run=$1
    shift
    setpriv --reuid=nobody --regid=nogroup --clear-groups /usr/bin/python3 - "$(id -u)" "$run" \
        "$@" >"$tmp/other.out" 2>&1 <<'PY' &
import os, socket, sys, time
uid, run, keys = sys.argv[1], sys.argv[2], sys.argv[3:]
held = []
for key in keys:
    s = socket.socket(socket.AF_UNIX)
    s.bind("\0pellomar-clipboard-" + uid + "-" + key)
    held.append(s)
try:
    open(os.path.join(run, "pellomar-clipboard-" + keys[0].replace("/", "%2F") + ".lock"), "w")
    print("created a file in the runtime directory", flush=True)
except PermissionError:
    print("held", flush=True)
time.sleep(60)
PY
    started_pids+=($!)
    wait_until 10 grep -q . "$tmp/other.out" || fail "the other user's process did not start"
    [[ $(cat "$tmp/other.out") == held ]] || fail "the other user: $(cat "$tmp/other.out")"
}
# Whether this user's presses took their turns in RUN (expect_own_lock_file RUN).
expect_own_lock_file() {
    [[ -n $(find "$1" -maxdepth 1 -name 'pellomar-clipboard-*.lock' -user "$(id -u)") ]] ||
        fail "no lock file of the user's: presses did not take turns"
}

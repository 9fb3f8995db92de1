# Sourced by the end-to-end scripts: the X desktop driven from outside, as another program of the
# user's desktop would: the clipboard with xclip, windows found with xdotool. The caller provides
# $tmp (a scratch folder) and fail.
# CLIP_SETTLE: seconds to wait after xclip owns a new content before going on (Wine's desktop
# process learns of a new X owner a moment later); none by default.

wait_until() {  # wait_until SECONDS COMMAND...: polls until COMMAND succeeds
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
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

# Shared by the install tests: assertions, the sample queries, running dovlek on them.
# Sourced; expects SOURCE_DIR to be set. What every end-to-end suite shares comes from
# tests/support/e2e.sh; the install tests count their failures and go on, so fail is their own.
source "$(dirname "${BASH_SOURCE[0]}")/../support/e2e.sh"

fails=0
fail() {
    echo "FAIL: $*" >&2
    fails=$((fails + 1))
}
pass() { echo "ok: $*"; }

# Exit status 77 is "skipped" for ctest (SKIP_RETURN_CODE).
need() {
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || {
            echo "SKIP: $tool is missing (scripts/setup.sh package installs it)" >&2
            exit 77
        }
    done
}

finish() {
    if ((fails > 0)); then
        echo "$fails check(s) failed" >&2
        exit 1
    fi
    echo "all checks passed"
}

expect_eq() {  # what, expected, actual
    if [[ "$2" == "$3" ]]; then
        pass "$1"
    else
        fail "$1"
        diff <(printf '%s\n' "$2") <(printf '%s\n' "$3") | sed 's/^/    /' >&2
    fi
}

# Sample queries and their layouts with the default keyword file, one per line of the table:
# name, query, expected layout (\n for line breaks). The queries differ in what the installed
# program must get right: the keyword file's rows at all, UTF-8 text, multi-word rows.
sample_cases=(
    "worked example|select a, b from t where x = 1|select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1"
    "literal in UTF-8|SELECT '検証, ﾃｽﾄ' AS caption FROM t|SELECT\n    '検証, ﾃｽﾄ' AS caption\nFROM\n    t"
    "a join with its condition|select a from t left join u on u.id = t.id|select\n    a\nfrom\n    t\nleft join\n    u\n    on u.id = t.id"
)

# Upgrades: the keyword file that installs before the switch to structured layout shipped, and a
# query that it and today's default lay out differently (the join condition: a line of its own
# at clause level, or a leading word under the table).
previous_default=$SOURCE_DIR/packaging/previous-defaults/classic-8909293.CSV
upgrade_query='select a from t left join u on u.id = t.id'
upgrade_new=$'select\n    a\nfrom\n    t\nleft join\n    u\n    on u.id = t.id'
upgrade_old=$'select\n    a\nfrom\n    t\nleft join\n    u\non\n    u.id = t.id'

# Runs each sample through a clipboard stand-in. $1 names the setting in the messages; the
# rest is the command that lays out standard input onto standard output.
check_samples() {
    local where=$1
    shift
    local row name query expected out status
    for row in "${sample_cases[@]}"; do
        IFS='|' read -r name query expected <<<"$row"
        expected=$(printf '%b' "$expected")
        out=$(printf '%s' "$query" | "$@" 2>&1)
        status=$?
        expect_eq "$where: $name: exit status" 0 "$status"
        expect_eq "$where: $name: layout" "$expected" "$out"
    done
}

# The same samples through the X11 clipboard of a private Xvfb server: the clipboard holds the
# query, the installed dovlek runs with DISPLAY set and no standard input, and the clipboard then
# holds the layout. $1 names the setting; the rest is the command that starts dovlek with the
# environment it is given.
check_x11_clipboard() {
    local where=$1
    shift
    local display row name query expected out status dir had_display=${DISPLAY+set}
    local old_display=${DISPLAY-}
    dir=$(mktemp -d)
    if ! start_xvfb "$dir"; then
        fail "$where: Xvfb did not start"
        rm -rf "$dir"
        return
    fi
    # start_xvfb exports DISPLAY; only the commands below are meant to see this server.
    display=$DISPLAY
    if [[ -n $had_display ]]; then export DISPLAY=$old_display; else unset DISPLAY; fi
    for row in "${sample_cases[@]}"; do
        IFS='|' read -r name query expected <<<"$row"
        expected=$(printf '%b' "$expected")
        printf '%s' "$query" | DISPLAY=$display xclip -selection clipboard -i
        DISPLAY=$display WAYLAND_DISPLAY= timeout 30 "$@" </dev/null
        status=$?
        out=$(DISPLAY=$display timeout 10 xclip -selection clipboard -o)
        expect_eq "$where: X11 clipboard: $name: exit status" 0 "$status"
        expect_eq "$where: X11 clipboard: $name: layout" "$expected" "$out"
    done
    stop_xvfb
    rm -rf "$dir"
}

# The installed documentation: the README and the user guide where their links find what they
# link to (pictures included), and the copyright file.
doc_layout=(
    "share/doc/pellomar/copyright|file"
    "share/doc/pellomar/README.md|file"
    "share/doc/pellomar/docs/USER-GUIDE.md|file"
    "share/doc/pellomar/docs/images/test-window.png|file"
)
# check_doc_links DOCDIR: every relative link of the installed Markdown files resolves.
check_doc_links() {
    local doc=$1 md target n=0
    for md in "$doc/README.md" "$doc/docs/USER-GUIDE.md"; do
        while read -r target; do
            n=$((n + 1))
            [[ -e $(dirname "$md")/$target ]] && pass "${md#"$doc"/} links to $target" ||
                fail "${md#"$doc"/} links to $target, which is not installed"
        done < <(grep -oE '\]\([^)#:]+[)#]' "$md" | sed -E 's/^\]\(//; s/[)#]$//')
    done
    ((n > 0)) || fail "no links found in the installed documentation"
}

# check_layout ROOT "PATH|WHAT"...: each installed path under ROOT is what the row says.
check_layout() {
    local root=$1 row path what f
    shift
    for row in "$@"; do
        IFS='|' read -r path what <<<"$row"
        f=$root/$path
        case $what in
            executable) [[ -f $f && -x $f && ! -L $f ]] ;;
            "the default keyword file") cmp -s "$f" "$SOURCE_DIR/KEYWORD_ARRANGE.CSV" ;;
            symlink*) [[ -L $f && $(readlink "$f") == "${what#symlink }" ]] ;;
            file) [[ -f $f && -s $f ]] ;;
        esac && pass "$path is $what" || fail "$path is not $what"
    done
}

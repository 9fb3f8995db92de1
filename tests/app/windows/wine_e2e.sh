#!/usr/bin/env bash
# End-to-end tests of dovlek.exe under Wine, as a user's desktop would run it: the clipboard
# through xclip (Wine bridges its clipboard to the X one: LF line ends there, CR LF inside),
# keys and clicks through xdotool. They run on the display and in the Wine prefix that
# scripts/windows.sh test sets up for the whole run, one case at a time.
#
# Two limits of Wine shape them: the text dovlek.exe leaves on the clipboard is readable from X
# for about a second after it has exited, so it is read back at once; and with no window manager
# Wine gives the keyboard only to a window that was clicked or given the X focus, so each window
# gets one of them first.
# Usage: wine_e2e.sh CASE BUILD_DIR E2E_HELPER_EXE
set -euo pipefail

case_name=$1
build=$(cd "$2" && pwd)
helper=$3
here=$(cd "$(dirname "$0")" && pwd)
wine=/usr/lib/wine/wine64
if [[ -z ${WINEPREFIX:-} || -z ${DISPLAY:-} ]]; then
    echo "wine_e2e.sh: run through scripts/windows.sh test (no Wine prefix or display)" >&2
    exit 2
fi

source "$here/../../support/e2e.sh"
e2e_start

# dovlek.exe reads KEYWORD_ARRANGE.CSV from its own folder: each case gets a folder of its own.
install_dovlek() {  # install_dovlek [DIR]
    local dir=${1:-$tmp/bin}
    mkdir -p "$dir"
    cp "$build/app/dovlek.exe" "$dir/"
    dovlek=$dir/dovlek.exe
}

# Wine's desktop process learns of a new X owner a moment after xclip has taken the clipboard.
CLIP_SETTLE=0.3

# A Japanese system, for the cases that set it: LANG=ja_JP.UTF-8 gives Wine the ANSI code page
# 932 (Shift-JIS), with the locale that scripts/windows.sh builds into the build directory.
run_env=(env)
japanese() { run_env=(env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 LOCPATH="$build/locale"); }
western() { run_env=(env); }

run_dovlek() {  # run_dovlek ARGS...: runs dovlek.exe to its end, sets $status
    set +e
    "${run_env[@]}" timeout 60 "$wine" "$dovlek" "$@" >"$tmp/dovlek.out" 2>&1
    status=$?
    set -e
}
dovlek_timeout=120  # seconds a started dovlek.exe may run before it is ended
start_dovlek() {  # start_dovlek ARGS...: in the background; finish_dovlek waits for it
    rm -f "$tmp/status"
    ( set +e; timeout "$dovlek_timeout" "$wine" "$dovlek" "$@" >"$tmp/dovlek.out" 2>&1; echo $? >"$tmp/status" ) &
    dovlek_pid=$!
    started_pids+=("$dovlek_pid")
}
finish_dovlek() {
    local i
    for ((i = 0; i < 300; i++)); do
        [[ -s $tmp/status ]] && break
        sleep 0.1
    done
    [[ -s $tmp/status ]] || fail "dovlek.exe did not end"
    status=$(cat "$tmp/status")
}
expect_status() {  # expect_status N
    [[ $status == "$1" ]] || fail "status $status, not $1: $(cat "$tmp/dovlek.out")"
}

no_window() {  # no_window NAME-REGEX
    ! xdotool search --onlyvisible --name "$1" >/dev/null 2>&1
}
click() {  # click WINDOW X Y: a click is what gives a window Wine's keyboard here
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.3
}
keys() {  # keys KEY...
    xdotool key --delay 50 "$@"
    sleep 0.3
}

# The error box: its text read from inside Wine (a Windows message box copies itself on Ctrl+C,
# Wine's does not), and Return closes it.
box_text() {
    "$wine" "$helper" box-text 2>/dev/null | tr -d '\r'
}
close_box() {  # close_box WINDOW
    local i
    for ((i = 0; i < 3; i++)); do
        xdotool windowfocus "$1" 2>/dev/null || return 0
        sleep 0.3
        keys Return
        for ((j = 0; j < 20; j++)); do
            no_window '^Pellomar$' && return 0
            sleep 0.1
        done
    done
    fail "Return did not close the box"
}

# The test window's box: its whole text, asked of the window itself (CR LF there, LF here).
window_text() {
    "$wine" "$helper" test-window-text 2>/dev/null | tr -d '\r'
}
window_holds() {  # window_holds FILE: the box's text, kept in $tmp/got, is FILE's
    window_text >"$tmp/got"
    cmp -s "$tmp/got" "$1"
}
# fill_box WINDOW FILE type|paste: FILE's text into the empty box, typed or pasted from the
# clipboard, and checked before going on: a click does not always give the box the keyboard at
# once, which would otherwise look like a wrong layout later.
fill_box() {
    local attempt
    for ((attempt = 1; ; attempt++)); do
        # Wine takes in a large text of another X program a while after it was offered: a paste
        # straight after it brings nothing.
        [[ $3 == paste ]] && clip_set "$2" && sleep "$attempt"
        click "$1" 100 50
        if [[ $3 == paste ]]; then
            keys ctrl+v
        else
            xdotool type --delay 20 --file "$2"
            sleep 0.3
        fi
        wait_until 30 window_holds "$2" && return 0
        ((attempt < 3)) || fail "the text did not arrive: the box holds $(wc -c <"$tmp/got") bytes"
        step "try $attempt did not arrive (the box holds $(wc -c <"$tmp/got") bytes): again"
        click "$1" 100 50
        keys ctrl+Home ctrl+shift+End Delete
    done
}

start_holder() {  # start_holder MILLISECONDS: another program keeps the clipboard open
    # A "held" left from the holder before must not stand for this one's.
    rm -f "$tmp/holder.out"
    "$wine" "$helper" hold "$1" >"$tmp/holder.out" 2>&1 &
    started_pids+=($!)
    wait_until 10 grep -qs held "$tmp/holder.out" || fail "the holder did not open the clipboard"
}

has_registry_key() {  # has_registry_key KEY
    "$wine" reg query "$1" >/dev/null 2>&1
}

case $case_name in
worked_example)
    install_dovlek
    worked_example_rows
    clip_set_text 'select a, b from t where x = 1'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a,\n    b\nfrom\n    t\nwhere\n    x = 1'
    ;;

crlf_and_tab)
    # LF on the X side arrives as CR LF; a TAB becomes four spaces; the result goes back as LF.
    install_dovlek
    worked_example_rows
    clip_set_text $'SELECT a,b\nFROM t\tWHERE x=1'
    run_dovlek
    expect_status 0
    expect_clipboard $'SELECT\n    a,\n    b\nFROM\n    t\nWHERE\n    x=1'
    ;;

image_left_alone)
    install_dovlek
    worked_example_rows
    clip_set "$here/../../../app/resources/pellomar-32.png" image/png
    run_dovlek
    expect_status 0
    clip_get image/png >"$tmp/after.png" || fail "the image is gone from the clipboard"
    cmp -s "$tmp/after.png" "$here/../../../app/resources/pellomar-32.png" ||
        fail "the image on the clipboard changed"
    ;;

empty_clipboard_left_alone)
    # No keyword file either: had the engine been asked, a box would have said so.
    install_dovlek
    clip_set_text ''
    run_dovlek
    expect_status 0
    no_window '^Pellomar$' || fail "a box was shown for an empty clipboard"
    ;;

missing_keyword_file_box)
    install_dovlek
    clip_set_text 'select 1'
    start_dovlek
    box=$(find_window '^Pellomar$') || fail "no box titled Pellomar appeared"
    step "box shown; the clipboard is untouched while it is open"
    expect_clipboard 'select 1'
    message=$(box_text)
    step "the box says: $message"
    [[ $message == "53:File not found: "*'\KEYWORD_ARRANGE.CSV' ]] || fail "wrong message"
    close_box "$box"
    finish_dovlek
    expect_status 1
    ;;

clipboard_held_by_another_program)
    install_dovlek
    worked_example_rows
    step "held for a moment: dovlek.exe waits and succeeds"
    clip_set_text 'select a from t'
    start_holder 800
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t'
    step "held for longer than a second: the box, status 2, the text kept"
    clip_set_text 'select b from u'
    start_holder 8000
    start_dovlek
    box=$(find_window '^Pellomar$') || fail "no box titled Pellomar appeared"
    message=$(box_text)
    step "the box says: $message"
    [[ $message == "75:Path/File access error: the clipboard is held by another program"* ]] ||
        fail "wrong message"
    close_box "$box"
    finish_dovlek
    expect_status 2
    expect_clipboard 'select b from u'
    ;;

test_window)
    install_dovlek
    worked_example_rows
    clip_set_text 'untouched'
    start_dovlek /DEBUG x
    form=$(find_window 'ﾃｽﾄ画面') || fail "no window titled ﾃｽﾄ画面 appeared"
    expect_clipboard 'untouched'
    read -r width height < <(xwininfo -id "$form" | awk '/Width:/ {w=$2} /Height:/ {h=$2} END {print w, h}')
    step "inner size ${width}x${height}"
    [[ $width == 325 && $height == 233 ]] || fail "inner size ${width}x${height}, not 325x233 at 96 DPI"
    printf 'select a, b from t' >"$tmp/typed"
    fill_box "$form" "$tmp/typed" type
    # 検証 sits at (3420, 3000) twips, 1395 × 375: its middle is (274, 212) at 96 DPI.
    click "$form" 274 212
    printf 'select\n    a,\n    b\nfrom\n    t' >"$tmp/laid-out"
    wait_until 10 window_holds "$tmp/laid-out" || fail "laid out: $(od -c <"$tmp/got")"
    step "Ctrl+Z brings the text back"
    click "$form" 100 50
    keys ctrl+z
    wait_until 10 window_holds "$tmp/typed" || fail "after Ctrl+Z: $(od -c <"$tmp/got")"
    keys alt+F4
    finish_dovlek
    expect_status 0
    ;;

test_window_failed_press)
    # The keyword file is gone: one box, and the text in the window stays.
    install_dovlek
    start_dovlek DEBUG
    form=$(find_window 'ﾃｽﾄ画面') || fail "no window titled ﾃｽﾄ画面 appeared"
    printf 'select a from t' >"$tmp/typed"
    fill_box "$form" "$tmp/typed" type
    click "$form" 274 212
    box=$(find_window '^Pellomar$') || fail "no box titled Pellomar appeared"
    message=$(box_text)
    [[ $message == "53:File not found: "* ]] || fail "the box says: $message"
    close_box "$box"
    # The box was shown from inside the press: the window answers only once the press is over.
    window_holds "$tmp/typed" || fail "after the failed press: $(od -c <"$tmp/got")"
    keys alt+F4
    finish_dovlek
    expect_status 0
    ;;

test_window_two_megabytes)
    # The box's default limit of 32K characters is lifted: 2 MB pasted in comes out laid out in
    # full, as clipboard mode lays out the same text. Wine's edit control spends several
    # microseconds on every line it takes in, so the rows break each statement into four lines
    # rather than the default file's sixteen: the size is what is tested here, not Wine's speed.
    install_dovlek
    write_rows 'select,1,1' 'from,1,1'
    line='select a, b, c from t join u on t.id = u.id where x = 1 and y = 2 order by a'
    for ((i = 0; i < 27000; i++)); do printf '%s\n' "$line"; done >"$tmp/big.sql"
    clip_set "$tmp/big.sql"
    run_dovlek
    expect_status 0
    clip_get >"$tmp/expected" || fail "no result on the clipboard"
    [[ $(wc -c <"$tmp/expected") -gt $(wc -c <"$tmp/big.sql") ]] ||
        fail "clipboard mode gave $(wc -c <"$tmp/expected") bytes"
    dovlek_timeout=240
    start_dovlek DEBUG
    form=$(find_window 'ﾃｽﾄ画面') || fail "no window titled ﾃｽﾄ画面 appeared"
    fill_box "$form" "$tmp/big.sql" paste
    step "2 MB pasted; laying it out"
    click "$form" 274 212
    wait_until 150 window_holds "$tmp/expected" ||
        fail "after 150 s the box holds $(wc -c <"$tmp/got") bytes, not the $(wc -c <"$tmp/expected") of clipboard mode"
    keys alt+F4
    finish_dovlek
    expect_status 0
    ;;

shift_jis_keyword_file)
    japanese
    install_dovlek
    write_rows '"結合",1,1' 'from,1,1'
    iconv -f UTF-8 -t CP932 "$tmp/bin/KEYWORD_ARRANGE.CSV" >"$tmp/sjis.csv"
    mv "$tmp/sjis.csv" "$tmp/bin/KEYWORD_ARRANGE.CSV"
    clip_set_text 'a 結合 b from ｃ'
    run_dovlek
    expect_status 0
    expect_clipboard $'a\n結合\n    b\nfrom\n    ｃ'
    ;;

utf8_keyword_files)
    # Notepad and Excel's "CSV UTF-8": with and without a byte-order mark, under the Japanese
    # code page and under the Western one.
    install_dovlek
    for locale in japanese western; do
        for bom in yes no; do
            step "$locale code page, byte-order mark: $bom"
            $locale
            write_rows '"結合",1,1' 'from,1,1'
            if [[ $bom == yes ]]; then
                { printf '\xef\xbb\xbf'; cat "$tmp/bin/KEYWORD_ARRANGE.CSV"; } >"$tmp/bom.csv"
                mv "$tmp/bom.csv" "$tmp/bin/KEYWORD_ARRANGE.CSV"
            fi
            clip_set_text 'a 結合 b from ｃ'
            run_dovlek
            expect_status 0
            expect_clipboard $'a\n結合\n    b\nfrom\n    ｃ'
        done
    done
    ;;

long_path)
    # A folder deeper than MAX_PATH (260 characters): the keyword file is still found.
    deep=$tmp
    for part in 1 2 3; do deep=$deep/$(printf "folder-$part-%.0s" {1..12}); done
    install_dovlek "$deep"
    step "$(printf '%s' "$deep" | wc -c) characters"
    worked_example_rows
    clip_set_text 'select a from t'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t'
    ;;

installer)
    installer=$(ls "$build"/pellomar-*-setup.exe)
    users=$WINEPREFIX/drive_c/users/${USER:-$(id -un)}
    target=$users/AppData/Local/Programs/Pellomar
    shortcut="$users/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/Pellomar.lnk"
    uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pellomar'
    rm -rf "$target"

    step "silent install"
    dovlek=$installer run_dovlek /S
    expect_status 0
    for f in dovlek.exe KEYWORD_ARRANGE.CSV KEYWORD_ARRANGE.default.csv README.txt LICENSE \
        uninstall.exe; do
        [[ -f $target/$f ]] || fail "$f was not installed"
    done
    [[ -f ${shortcut%Pellomar.lnk}"Pellomar test window.lnk" ]] || fail "no test window shortcut"
    # The shortcut key lives in the link's header: virtual key F11 (0x7A), Ctrl+Shift (0x03).
    hotkey=$(od -An -tx1 -j64 -N2 "$shortcut" | tr -d ' ')
    [[ $hotkey == 7a03 ]] || fail "the shortcut's key is $hotkey, not Ctrl+Shift+F11"
    "$wine" reg query "$uninstall_key" /v UninstallString 2>/dev/null | grep -q 'uninstall.exe' ||
        fail "no uninstall entry"

    step "the installed program lays out the clipboard with the shipped keyword file"
    dovlek=$target/dovlek.exe
    clip_set_text 'select a from t where x = 1'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t\nwhere\n    x = 1'

    step "a keyword file that is still the previous default follows the new default"
    # As an install before the switch to structured layout left it: the classic default, and
    # the same beside it as the default to compare with.
    previous=$here/../../../packaging/previous-defaults/classic-8909293.CSV
    cp "$previous" "$target/KEYWORD_ARRANGE.CSV"
    cp "$previous" "$target/KEYWORD_ARRANGE.default.csv"
    clip_set_text 'select a from t left join u on u.id = t.id'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t\nleft join\n    u\non\n    u.id = t.id'
    dovlek=$installer run_dovlek /S
    expect_status 0
    cmp -s "$target/KEYWORD_ARRANGE.CSV" "$build/package/KEYWORD_ARRANGE.CSV" ||
        fail "the unedited previous default was not replaced"
    clip_set_text 'select a from t left join u on u.id = t.id'
    run_dovlek
    expect_status 0
    expect_clipboard $'select\n    a\nfrom\n    t\nleft join\n    u\n    on u.id = t.id'

    step "an edited keyword file survives a second install"
    worked_example_rows
    printf 'my,1,1\r\n' >>"$target/KEYWORD_ARRANGE.CSV"
    cp "$target/KEYWORD_ARRANGE.CSV" "$tmp/edited.csv"
    dovlek=$installer run_dovlek /S
    expect_status 0
    cmp -s "$target/KEYWORD_ARRANGE.CSV" "$tmp/edited.csv" || fail "the edited keyword file was replaced"
    cmp -s "$target/KEYWORD_ARRANGE.default.csv" "$build/package/KEYWORD_ARRANGE.CSV" ||
        fail "the default keyword file is not beside it"

    step "uninstalling keeps the edited keyword file alone"
    uninstall() {
        # The uninstaller copies itself away and returns at once; its copy does the work, the
        # registry entry last.
        dovlek=$target/uninstall.exe run_dovlek /S
        expect_status 0
        local i
        for ((i = 0; i < 300; i++)); do
            [[ ! -e $target/uninstall.exe ]] && ! has_registry_key "$uninstall_key" && return
            sleep 0.1
        done
        fail "the uninstaller did not finish"
    }
    uninstall
    left=$(cd "$target" && ls -A)
    [[ $left == KEYWORD_ARRANGE.CSV ]] || fail "left after uninstalling: $left"
    [[ ! -e $shortcut ]] || fail "the shortcut is still there"

    step "an unchanged keyword file goes with the rest"
    rm -f "$target/KEYWORD_ARRANGE.CSV"
    dovlek=$installer run_dovlek /S
    expect_status 0
    uninstall
    [[ ! -e $target ]] || fail "left after uninstalling: $(ls -A "$target")"
    ;;

*)
    fail "unknown case"
    ;;
esac
step "passed"

#!/usr/bin/env bash
# Pellomar for Windows, from this Debian machine: dovlek.exe cross-built with MinGW-w64 into
# build-windows/, tested under Wine on Xvfb, shipped as an installer and a zip.
# Usage: scripts/windows.sh build|test|package
#   build    installs what it needs (scripts/setup.sh windows), configures and builds
#   test     builds, then runs every Windows test under ctest in one fresh Wine prefix and on
#            one Xvfb display of its own; further arguments go to ctest (-R NAME, -V)
#   package  builds build-windows/pellomar-<version>-setup.exe and -win64.zip
set -euo pipefail
cd "$(dirname "$0")/.."

build=build-windows
wine=/usr/lib/wine/wine64
werror=OFF
[[ "${CI:-}" == "true" ]] && werror=ON

configure_and_build() {
    scripts/setup.sh windows
    # -O2 as in the Linux build: GCC 12 at -O3 warns falsely about std::string concatenation
    # (-Wrestrict, GCC bug 105329).
    cmake -S . -B "$build" -G Ninja --no-warn-unused-cli \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
        -DPELLOMAR_WERROR=$werror
    cmake --build "$build" -j2
}

package() {
    cmake --build "$build" --target windows_package -j2
}

source scripts/xvfb.sh
stop_desktop() {
    # Wine's server and the programs it keeps (the desktop, services) end with the prefix's
    # wineserver; then the display.
    [[ -n ${WINEPREFIX:-} ]] && /usr/lib/wine/wineserver -k 2>/dev/null || true
    stop_xvfb
}

# One Xvfb display and one Wine prefix for the whole run: every Wine program of a prefix shares
# its desktop and clipboard, so the cases that use them run one after another (ctest's
# RESOURCE_LOCK wine_desktop).
start_desktop() {
    local dir=$PWD/$build
    start_xvfb "$dir" || exit 1

    export WINEPREFIX=$dir/wine-prefix
    # mscoree and mshtml: no offer to install Mono or Gecko while the prefix is made;
    # winemenubuilder: no menu entries or file associations written into the real home when the
    # installer makes its shortcuts.
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export WINEDEBUG=-all
    rm -rf "$WINEPREFIX"
    trap stop_desktop EXIT
    "$wine" wineboot -i >"$dir/wineboot.log" 2>&1
}

case "${1:-}" in
build)
    configure_and_build
    ;;
test)
    configure_and_build
    package  # the installer's own test installs it
    # LANG=ja_JP.UTF-8 gives Wine the Japanese ANSI code page (932), whether or not the machine
    # has that locale: it is built here.
    if [[ ! -e $build/locale/ja_JP.UTF-8/LC_CTYPE ]]; then
        mkdir -p "$build/locale"
        localedef -i ja_JP -f UTF-8 "$build/locale/ja_JP.UTF-8"
    fi
    # Everything else runs with Wine's Western defaults (code page 1252).
    export LC_ALL=C.UTF-8
    unset LANG LANGUAGE
    start=$SECONDS
    start_desktop
    shift
    ctest --test-dir "$build" --output-on-failure --no-tests=error -j2 "$@" |
        tee "$build/ctest-summary.log"
    echo "== windows tests: $((SECONDS - start)) s, Wine prefix and display included"
    ;;
package)
    configure_and_build
    package
    for f in "$build"/app/dovlek.exe "$build"/pellomar-*-setup.exe "$build"/pellomar-*-win64.zip; do
        printf '%10d bytes  %s\n' "$(stat -c %s "$f")" "$f"
    done
    ;;
*)
    echo "usage: scripts/windows.sh build|test|package" >&2
    exit 2
    ;;
esac

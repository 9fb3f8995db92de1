#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those that are missing.
# Usage: scripts/setup.sh build|test|bench|fuzz|package|screenshot|fresh-debian|windows ...
set -euo pipefail

declare -A groups=(
  [build]="cmake ninja-build g++ pkg-config qt6-base-dev libxcb1-dev libxcb-xfixes0-dev libxkbcommon-dev qt6-qpa-plugins qt6-wayland wl-clipboard"
  [test]="gdb googletest libgtest-dev libgmock-dev xvfb xauth xclip xsel xdotool x11-utils x11-apps python3-xlib dbus-x11 procps sway dpkg-dev desktop-file-utils clang-format-14 clang-tidy-14 lintian locales"
  [bench]="libbenchmark-dev hyperfine sqlformat xvfb xauth xclip"
  [fuzz]="clang libclang-rt-14-dev"
  [package]="dpkg-dev file desktop-file-utils lintian"
  [screenshot]="xvfb xauth xdotool x11-utils x11-apps netpbm openbox fonts-noto-cjk"
  [fresh-debian]="debootstrap"
  [windows]="cmake ninja-build python3 g++-mingw-w64-x86-64-posix googletest wine64 nsis zip locales xvfb xauth xclip xdotool x11-utils"
)

wanted=()
for group in "$@"; do
  [[ -n "${groups[$group]:-}" ]] || { echo "setup.sh: unknown group '$group'" >&2; exit 2; }
  wanted+=(${groups[$group]})
done

missing=()
for pkg in "${wanted[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$pkg")
  fi
done
((${#missing[@]} == 0)) && exit 0

SUDO=
if [[ $(id -u) -ne 0 ]]; then
  if ! command -v sudo >/dev/null 2>&1; then
    # Nothing here can install them: say what is missing and who can, and stop before a build
    # fails for want of them.
    echo "setup.sh: these Debian packages are missing: ${missing[*]}" >&2
    echo "setup.sh: installing them needs root (and there is no sudo); as root run:" >&2
    echo "  apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 2
  fi
  SUDO=sudo
fi
echo "setup.sh: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
# Another setup may be installing at the same moment (two scripts started together): wait for
# its lock instead of failing.
$SUDO apt-get -o DPkg::Lock::Timeout=600 update -q
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"

#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run script need, when missing.
set -euo pipefail
packages=(
    cmake ninja-build g++ libgtest-dev libgmock-dev googletest clang-format
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64
    xvfb xauth imagemagick xdotool x11-apps fonts-wqy-microhei
    socat dfu-util locales unzip jq time bc
    clang libclang-rt-14-dev ccache
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# The Chinese-language runs need the zh_TW.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_TW\.utf-\?8$'; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    # The Chinese program sessions need this locale: say so here rather than fail there.
    $SUDO localedef -i zh_TW -f UTF-8 zh_TW.UTF-8 ||
        echo "warning: could not make the zh_TW.UTF-8 locale; the Chinese sessions will fail" >&2
fi

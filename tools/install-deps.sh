#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the run script need, when missing.
# Idempotent: on a machine that has everything it only checks. It never removes a package.
set -euo pipefail
packages=(
    cmake ninja-build g++ libgtest-dev libgmock-dev googletest clang-format
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    wine wine64
    xvfb xauth imagemagick xdotool x11-apps fonts-wqy-microhei
    socat dfu-util locales unzip jq time bc
    # Linux USB: the libusb back end, its tests against umockdev's usbfs emulation, the .deb.
    libusb-1.0-0-dev pkg-config umockdev libumockdev-dev lintian dpkg-dev
    clang libclang-rt-14-dev ccache
    # The pty preload library for 32-bit Wine processes: Debian's i686 Linux cross compiler
    # (gcc-multilib would conflict with the mingw-w64 compilers).
    gcc-i686-linux-gnu libc6-dev-i386-cross
    # Release files: Authenticode signing, the user guide as HTML, the test certificate.
    osslsigncode cmark-gfm openssl zip
)
# Checked after installing: nothing may have taken them away.
cross_compilers=(i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix)

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
apt_updated=0
apt_update() {
    [ "$apt_updated" = 1 ] && return 0
    $SUDO apt-get update -qq
    apt_updated=1
}
# --no-remove: apt stops rather than remove anything to make room for what is asked.
apt_install() {
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends --no-remove "$@" >/dev/null
}
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    apt_update
    apt_install "${missing[@]}"
fi

# The shipped i686 program runs under the 32-bit half of Wine, at the version of the 64-bit
# half that is installed.
if ! installed 'wine32:i386'; then
    wine_version=$(dpkg-query -W -f='${Version}' wine64)
    echo "installing: wine32:i386 $wine_version (the 32-bit half of Wine, for the i686 build)"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
        apt_updated=0
    fi
    apt_update
    apt_install "wine32:i386=$wine_version"
fi

for c in "${cross_compilers[@]}"; do
    command -v "$c" >/dev/null || {
        echo "install-deps.sh: $c is gone after installing; reinstall the mingw-w64 compilers" >&2
        exit 1
    }
done

# The Chinese-language runs need the zh_TW.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qi '^zh_TW\.utf-\?8$'; then
    # The Chinese program sessions need this locale: say so here rather than fail there.
    $SUDO localedef -i zh_TW -f UTF-8 zh_TW.UTF-8 ||
        echo "warning: could not make the zh_TW.UTF-8 locale; the Chinese sessions will fail" >&2
fi

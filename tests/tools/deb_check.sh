#!/usr/bin/env bash
# Makes the Linux package in a native build folder and checks it: the files it holds, the
# engine library found by the program through its RUNPATH once unpacked, the computed
# dependencies, lintian without errors, and `cmake --install` putting the udev rule under
# lib/udev/rules.d of its prefix.
#   tests/tools/deb_check.sh <native build folder>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$build/deb-check
rm -rf "$work"
mkdir -p "$work"
fail() { echo "deb_check: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log" >&2; fail "cpack failed"; }
deb=$(ls "$work"/kx-v5-tool_*_*.deb)
echo "package: $(basename "$deb")"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/qvdfu ./usr/bin/qv-headset-sim ./usr/bin/qvdfufile \
    ./usr/lib/kx-v5-tool/libDFUEngine.so ./usr/lib/udev/rules.d/70-kx-v5.rules \
    ./usr/share/doc/kx-v5-tool/user-guide.md ./usr/share/doc/kx-v5-tool/copyright \
    ./usr/share/doc/kx-v5-tool/changelog.gz; do
    grep -qxF "$path" <<<"$contents" || fail "$path is missing from the package"
done

depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libusb-1.0-0; do
    grep -q "\b$lib\b" <<<"$depends" || fail "Depends lacks $lib: $depends"
done

# Unpacked anywhere, the program finds its engine library in the package's private folder.
dpkg-deb -x "$deb" "$work/root"
runpath=$(readelf -d "$work/root/usr/bin/qvdfu" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p')
[ "$runpath" = '$ORIGIN/../lib/kx-v5-tool' ] || fail "qvdfu's RUNPATH is '$runpath'"
ldd "$work/root/usr/bin/qvdfu" | grep -q "libDFUEngine.so => $work/root/usr/bin/../lib/kx-v5-tool/libDFUEngine.so" ||
    fail "the unpacked qvdfu does not load the packaged engine library"
"$work/root/usr/bin/qvdfu" --help >/dev/null || fail "the unpacked qvdfu does not run"
gzip -t "$work/root/usr/share/doc/kx-v5-tool/changelog.gz" || fail "changelog.gz is not gzip"
cmp -s "$work/root/usr/lib/udev/rules.d/70-kx-v5.rules" "$build/70-kx-v5.rules" ||
    fail "the packaged udev rule is not the one the build made"

# lintian: warnings are shown, an error fails (it warns when run as root).
lintian --fail-on error "$deb" 2>&1 | grep -v 'running with root privileges' | tee "$work/lintian.log" || true
lintian --fail-on error "$deb" >/dev/null 2>&1 || fail "lintian reports errors"

cmake --install "$build" --prefix "$work/prefix" >/dev/null
[ -f "$work/prefix/lib/udev/rules.d/70-kx-v5.rules" ] || fail "cmake --install put no rule under lib/udev/rules.d"
echo "package checked"

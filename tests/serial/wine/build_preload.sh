#!/usr/bin/env bash
# Builds the modem-line preload library (pty_modem_lines.c) for both ELF classes, so that
# 64-bit and 32-bit Wine processes alike load it:
#   build_preload.sh <folder>
# writes <folder>/lib/x86_64-linux-gnu/libqvptymodem.so and <folder>/lib/i386-linux-gnu/...
# and prints the LD_PRELOAD value, <folder>/$LIB/libqvptymodem.so: the loader puts each
# process's own library folder in place of $LIB (lib/x86_64-linux-gnu, lib/i386-linux-gnu).
set -euo pipefail
out=$1
src=$(cd "$(dirname "$0")" && pwd)/pty_modem_lines.c
build() {
    local compiler=$1 folder=$out/lib/$2
    command -v "$compiler" >/dev/null || {
        echo "build_preload.sh: $compiler is missing; run tools/install-deps.sh" >&2
        return 1
    }
    mkdir -p "$folder"
    "$compiler" -shared -fPIC -O2 -o "$folder/libqvptymodem.so" "$src" -ldl
}
build cc x86_64-linux-gnu
build i686-linux-gnu-gcc i386-linux-gnu
# shellcheck disable=SC2016 # the loader expands $LIB, not the shell
printf '%s\n' "$out/\$LIB/libqvptymodem.so"

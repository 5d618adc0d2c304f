#!/usr/bin/env bash
# Fuzzes the settings file's profile text (app/IniText: IniGetValue, IniSetValue) with
# libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer. Needs clang and Debian's
# libclang-rt-14-dev.
#   tools/fuzz/ini_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
NAME=ini_fuzz
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/ini}
# shellcheck source=tools/fuzz/fuzz-lib.sh
. "$ROOT/tools/fuzz/fuzz-lib.sh"
qv_fuzz_build "$ROOT/tools/fuzz/ini_fuzz.cpp" "$ROOT/app/IniText.cpp"

# Seeds: a value's length byte, the value, then the file as the program writes it, as an
# editor may leave it, and cut short.
qv_fuzz_seed written '\x0aC:\\fw\\a.dfu[Setting]\r\nDFU_FileName=C:\\old.dfu\r\n'
qv_fuzz_seed edited '\x03x y; comment\n[other]\nk=v\n[ setting ]\n  dfu_filename = "C:\\q.dfu"  \n\n[z]\n'
qv_fuzz_seed cut '\x05abcde[Setting]\r\nDFU_FileNa'
qv_fuzz_seed empty '\x00'

qv_fuzz_run "${1:-20}" 1024

#!/usr/bin/env bash
# Fuzzes the settings file's profile text (app/IniText: IniGetValue, IniSetValue) with
# libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer. Needs clang and Debian's
# libclang-rt-14-dev.
#   tools/fuzz/ini_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-20}
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/ini}
mkdir -p "$OUT/corpus"

CXX=${CXX_FUZZ:-clang++}
if ! command -v "$CXX" >/dev/null; then
    echo "ini_fuzz: needs clang with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
    exit 2
fi
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$ROOT" \
    "$ROOT/tools/fuzz/ini_fuzz.cpp" "$ROOT/app/IniText.cpp" \
    -o "$OUT/ini_fuzz"

# Seeds: a value's length byte, the value, then the file as the program writes it, as an
# editor may leave it, and cut short.
seed() { printf '%b' "$2" >"$OUT/corpus/$1"; }
seed written '\x0aC:\\fw\\a.dfu[Setting]\r\nDFU_FileName=C:\\old.dfu\r\n'
seed edited '\x03x y; comment\n[other]\nk=v\n[ setting ]\n  dfu_filename = "C:\\q.dfu"  \n\n[z]\n'
seed cut '\x05abcde[Setting]\r\nDFU_FileNa'
seed empty '\x00'

"$OUT/ini_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=1024 -print_final_stats=1 \
    -artifact_prefix="$OUT/" \
    "$OUT/corpus"

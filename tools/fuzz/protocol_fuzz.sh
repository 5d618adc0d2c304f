#!/usr/bin/env bash
# Fuzzes ClassifyLine and ParseStatusLine with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer). Needs clang and Debian's libclang-rt-14-dev.
#   tools/fuzz/protocol_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-20}
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/protocol}
mkdir -p "$OUT/corpus"

CXX=${CXX_FUZZ:-clang++}
if ! command -v "$CXX" >/dev/null ||
    ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    "$CXX" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
    echo "protocol_fuzz: needs clang with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
    exit 2
fi
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$ROOT" \
    "$ROOT/tools/fuzz/protocol_fuzz.cpp" \
    "$ROOT"/device/protocol/{CommandCodes,ReplyLog,Request,StatusLine}.cpp \
    -o "$OUT/protocol_fuzz"

# Seeds: the shapes of line a headset sends.
seed() { printf '%b' "$2" >"$OUT/corpus/$1"; }
seed ok 'OK'
seed version '+QVSTS1=8,102'
seed identity '+QVSTS1=7,84894534,1'
seed gps '+QVSTS1= 5 , 20 , 0'
seed dial '+QVSTS1=1,+886*12#'
seed name '+QVSTS1=9,KX-V5, "x" '
seed address '+QVSTS1=10,00:1A:7D:DA:71:13\r'
seed big '+QVSTS1=4294967303,99999999999,7'

"$OUT/protocol_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=2048 -print_final_stats=1 \
    -artifact_prefix="$OUT/" \
    "$OUT/corpus"

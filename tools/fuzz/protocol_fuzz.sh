#!/usr/bin/env bash
# Fuzzes ClassifyLine and ParseStatusLine with libFuzzer (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer). Needs clang and Debian's libclang-rt-14-dev.
#   tools/fuzz/protocol_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
NAME=protocol_fuzz
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/protocol}
# shellcheck source=tools/fuzz/fuzz-lib.sh
. "$ROOT/tools/fuzz/fuzz-lib.sh"
qv_fuzz_build "$ROOT/tools/fuzz/protocol_fuzz.cpp" \
    "$ROOT"/device/protocol/{CommandCodes,ReplyLog,Request,StatusLine}.cpp

# Seeds: the shapes of line a headset sends.
qv_fuzz_seed ok 'OK'
qv_fuzz_seed version '+QVSTS1=8,102'
qv_fuzz_seed identity '+QVSTS1=7,84894534,1'
qv_fuzz_seed gps '+QVSTS1= 5 , 20 , 0'
qv_fuzz_seed dial '+QVSTS1=1,+886*12#'
qv_fuzz_seed name '+QVSTS1=9,KX-V5, "x" '
qv_fuzz_seed address '+QVSTS1=10,00:1A:7D:DA:71:13\r'
qv_fuzz_seed big '+QVSTS1=4294967303,99999999999,7'

qv_fuzz_run "${1:-20}" 2048

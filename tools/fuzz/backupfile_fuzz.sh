#!/usr/bin/env bash
# Fuzzes qvdfu's settings backup file reader (ParseSettingsBackup) with libFuzzer (clang,
# AddressSanitizer and UndefinedBehaviorSanitizer). Needs clang and Debian's libclang-rt-14-dev.
#   tools/fuzz/backupfile_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-20}
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/backupfile}
mkdir -p "$OUT/corpus"

CXX=${CXX_FUZZ:-clang++}
if ! command -v "$CXX" >/dev/null ||
    ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
    "$CXX" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
    echo "backupfile_fuzz: needs clang with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
    exit 2
fi
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$ROOT" \
    "$ROOT/tools/fuzz/backupfile_fuzz.cpp" \
    "$ROOT/console/SettingsBackupFile.cpp" "$ROOT/device/protocol/SettingRules.cpp" \
    -o "$OUT/backupfile_fuzz"

# Seeds: what qvdfu backup writes, a hand-edited file, and the shapes of a broken one.
seed() { printf '%b' "$2" >"$OUT/corpus/$1"; }
seed written '# KX-V5 settings, saved by qvdfu backup\n# from KX-V5\nformat=1\nspeed_dial_1=+886*12#\nspeed_dial_2=\nspeed_dial_3=0912345678\na2dp_percent=50\ngps_percent=70\nvoice_sharing=1\n'
seed edited '\xef\xbb\xbfformat = 1\r\nvoice_sharing=0\r\ngps_percent= 100\r\nspeed_dial_3=\r\nspeed_dial_2=#\r\nspeed_dial_1=1\r\na2dp_percent=1'
seed cut 'format=1\nspeed_dial_1=+88'
seed twice 'format=1\nspeed_dial_1=1\nspeed_dial_1=2\n'
seed nul 'format=1\nspeed_dial_1=1\x002\n'

"$OUT/backupfile_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=6000 -print_final_stats=1 \
    -artifact_prefix="$OUT/" \
    "$OUT/corpus"

#!/usr/bin/env bash
# Fuzzes the headset simulator's state file reader (HeadsetState::Load) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer. Needs clang and Debian's libclang-rt-14-dev.
#   tools/fuzz/simstate_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-20}
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/simstate}
mkdir -p "$OUT/corpus"

CXX=${CXX_FUZZ:-clang++}
if ! command -v "$CXX" >/dev/null; then
    echo "simstate_fuzz: needs clang with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
    exit 2
fi
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$ROOT" \
    "$ROOT/tools/fuzz/simstate_fuzz.cpp" "$ROOT/tools/headset_sim/HeadsetState.cpp" \
    -o "$OUT/simstate_fuzz"

# Seeds: a file as the simulator writes it, one edited on Windows, one cut short.
seed() { printf '%b' "$2" >"$OUT/corpus/$1"; }
seed written 'IdentityValue2=1\nFirmwareVersion=102\nDeviceName=KX-V5\nBdAddress=00:1A:7D:DA:71:13\nSpeedDial1=+886*12#\nSpeedDial2=\nSpeedDial3=\nA2dpMixPercent=50\nGpsMixPercent=70\nGpsVoiceSharing=1\n'
seed windows '# edited\r\nSpeedDial1=123\r\nGpsMixPercent=-5\r\n\r\n'
seed cut 'A2dpMixPercent=5'
seed longest 'SpeedDial3=0123456789+*#012\nDeviceName=KX-V5\r\r\n'

"$OUT/simstate_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=1024 -print_final_stats=1 \
    -artifact_prefix="$OUT/" \
    "$OUT/corpus"

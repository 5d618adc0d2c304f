#!/usr/bin/env bash
# Fuzzes the headset simulator's state file reader (HeadsetState::Load) with libFuzzer under
# AddressSanitizer and UndefinedBehaviorSanitizer. Needs clang and Debian's libclang-rt-14-dev.
#   tools/fuzz/simstate_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
NAME=simstate_fuzz
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz/simstate}
# shellcheck source=tools/fuzz/fuzz-lib.sh
. "$ROOT/tools/fuzz/fuzz-lib.sh"
qv_fuzz_build "$ROOT/tools/fuzz/simstate_fuzz.cpp" "$ROOT/tools/headset_sim/HeadsetState.cpp"

# Seeds: a file as the simulator writes it, one edited on Windows, one cut short, one with the
# longest speed dial and a name ending in a carriage return.
qv_fuzz_seed written 'IdentityValue2=1\nFirmwareVersion=102\nDeviceName=KX-V5\nBdAddress=00:1A:7D:DA:71:13\nSpeedDial1=+886*12#\nSpeedDial2=\nSpeedDial3=\nA2dpMixPercent=50\nGpsMixPercent=70\nGpsVoiceSharing=1\n'
qv_fuzz_seed windows '# edited\r\nSpeedDial1=123\r\nGpsMixPercent=-5\r\n\r\n'
qv_fuzz_seed cut 'A2dpMixPercent=5'
qv_fuzz_seed longest 'SpeedDial3=0123456789+*#012\nDeviceName=KX-V5\r\r\n'

qv_fuzz_run "${1:-20}" 1024

#!/usr/bin/env bash
# Builds the libFuzzer target of the USB device tree walk (descriptor scan, string matching,
# the whole walk over a fuzzed simulated device) with clang and runs it briefly.
# Needs clang and Debian's libclang-rt-14-dev.
#
#   tools/fuzz/usbwalk_fuzz.sh [seconds]      (default 20)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-20}
OUT=${USBWALK_FUZZ_DIR:-$ROOT/build/fuzz/usbwalk}
CXX=${CXX_FUZZ:-clang++}
mkdir -p "$OUT/corpus"

src=$ROOT/upgrade/enum
"$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    -I"$ROOT" \
    "$ROOT/tests/upgrade/enum/UsbWalkFuzz.cpp" \
    "$src/DescriptorScan.cpp" "$src/FirmwareText.cpp" "$src/UsbWalk.cpp" \
    "$src/AnsiTextPosix.cpp" "$ROOT/tools/usbtree/SimulatedUsbTree.cpp" \
    "$ROOT/tools/usbtree/SimulatedDescriptors.cpp" \
    "$src/UsbHostSysfs.cpp" \
    -o "$OUT/usbwalk_fuzz"

# Seed: a device like the headset (string indexes 1 to 3, configuration string 4, interface
# string 5, one language).
if [ -z "$(ls -A "$OUT/corpus")" ]; then
    printf '\x01\x02\x03\x19\x00'\
'\x09\x02\x19\x00\x01\x01\x04\x80\x32'\
'\x09\x04\x00\x00\x01\xfe\x01\x01\x05'\
'\x07\x05\x81\x03\x08\x00\x0a'\
'\x00\x00\x00\x04\x04\x03\x09\x04'\
'\x04\x09\x04\x16\x16\x03F\x00W\x00:\x00A\x00 \x00P\x00S\x00R\x00:\x00B\x00' \
        >"$OUT/corpus/headset"
fi

"$OUT/usbwalk_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$OUT/" \
    "$OUT/corpus"

#!/usr/bin/env bash
# Fuzzes the firmware file validator (dfufile::Parse) with libFuzzer under AddressSanitizer and
# UndefinedBehaviorSanitizer. Needs clang and libFuzzer (Debian: clang, libclang-rt-14-dev).
#
#   tools/fuzz/dfufile_fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
SECONDS_TO_RUN=${1:-60}
OUT=${QV_FUZZ_DIR:-$ROOT/build/fuzz}
CLANG=$(command -v clang++ || command -v clang++-14 || true)
if [ -z "$CLANG" ]; then
    echo "clang++ not found (Debian: apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi
mkdir -p "$OUT/corpus"

cat >"$OUT/dfufile_fuzz.cpp" <<'CPP'
#include <cstdint>
#include <cstring>
#include <memory>

#include "file/DfuFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy: any read past the file is a heap overflow the sanitizer reports.
    std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[size + 1]);
    if (size > 0) std::memcpy(copy.get(), data, size);
    dfufile::FileInfo info;
    const auto error = dfufile::Parse(size > 0 ? copy.get() : nullptr, size, info);
    if (error == dfufile::FileError::ok) {
        // What a valid file promises.
        if (info.imageSize + info.suffixLength != size || info.payloadOffset > info.imageSize ||
            !dfufile::IsValidComment(info.comment)) {
            __builtin_trap();
        }
    }
    return 0;
}
CPP

# Seeds: valid files of a few sizes, built by the format code itself.
cat >"$OUT/seed.cpp" <<'CPP'
#include <cstdio>
#include <string>
#include "file/DfuFile.h"
int main(int, char** argv) {
    for (std::size_t n : {0u, 1u, 64u, 1000u}) {
        std::vector<std::uint8_t> payload(n, 0x5A);
        const auto file = dfufile::Build(payload, 0x1209, 0x4B58, 0x0102, "QUORVANE KX-V5 V1.02");
        const std::string name = std::string(argv[1]) + "/seed" + std::to_string(n);
        if (FILE* f = std::fopen(name.c_str(), "wb")) {
            std::fwrite(file.data(), 1, file.size(), f);
            std::fclose(f);
        }
    }
}
CPP

FLAGS="-std=c++17 -O1 -g -I$ROOT/engine"
"$CLANG" $FLAGS "$OUT/seed.cpp" "$ROOT/engine/file/DfuFile.cpp" -o "$OUT/seed"
"$OUT/seed" "$OUT/corpus"
"$CLANG" $FLAGS -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
    "$OUT/dfufile_fuzz.cpp" "$ROOT/engine/file/DfuFile.cpp" -o "$OUT/dfufile_fuzz"
"$OUT/dfufile_fuzz" -max_total_time="$SECONDS_TO_RUN" -max_len=4096 -artifact_prefix="$OUT/" \
    "$OUT/corpus"

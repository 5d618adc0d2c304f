# Sourced by the libFuzzer scripts of tools/fuzz: builds a target with clang under
# AddressSanitizer and UndefinedBehaviorSanitizer, seeds its corpus and runs it for a while.
# The script sets ROOT (the checkout), NAME (the target) and OUT (its folder) first.

# qv_fuzz_build <sources...>
qv_fuzz_build() {
    CXX=${CXX_FUZZ:-clang++}
    if ! command -v "$CXX" >/dev/null ||
        ! echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, long) { return 0; }' |
        "$CXX" -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null; then
        echo "$NAME: needs clang with libFuzzer (Debian: clang libclang-rt-14-dev)" >&2
        exit 2
    fi
    mkdir -p "$OUT/corpus"
    "$CXX" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
        -I"$ROOT" "$@" -o "$OUT/$NAME"
}

# qv_fuzz_seed <file name> <bytes, printf %b escapes>
qv_fuzz_seed() {
    printf '%b' "$2" >"$OUT/corpus/$1"
}

# qv_fuzz_run <seconds> <longest input in bytes>
qv_fuzz_run() {
    "$OUT/$NAME" -max_total_time="$1" -max_len="$2" -print_final_stats=1 \
        -artifact_prefix="$OUT/" "$OUT/corpus"
}

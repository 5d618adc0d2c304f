#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds every preset and runs every test:
# native, native under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded code under
# ThreadSanitizer, the x86_64 Windows build under Wine (on a private X server), a short
# libFuzzer run, and the i686 release zip with a link check of the i686 build.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
export QV_ROOT=$ROOT
JOBS=${JOBS:-$(nproc)}
# Compiler-cache hits across checkouts in different folders.
export CCACHE_BASEDIR=$ROOT CCACHE_NOHASHDIR=1
summary=()

stage() {
    local name=$1
    shift
    local start=$SECONDS
    echo "=== $name"
    "$@"
    summary+=("$(printf '%-28s %4ds' "$name" $((SECONDS - start)))")
}

build() {
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$JOBS" "${@:2}"
}

native_tests() {
    # Any sanitizer report ends the test that made it.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        ctest --preset "$1" -j "$JOBS" --no-tests=error
}

format_check() {
    # Every C++ file as clang-format (.clang-format) writes it.
    git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run -Werror
}

fuzz_briefly() {
    # Each libFuzzer target of the project runs for a short while.
    local script
    for script in tools/fuzz/*_fuzz.sh; do
        echo "--- $script"
        "$script" "${FUZZ_SECONDS:-15}"
    done
}

tsan_tests() {
    # Only the tests labelled "threads" run under ThreadSanitizer; finding none is a failure.
    ctest --preset native-tsan -j "$JOBS" --no-tests=error
}

windows_tests() {
    # The run sets up its own Wine prefix, Wine server and, as DISPLAY is dropped here, a
    # private X server (the wine_session test fixture, tests/wine/session.sh). A test that fails
    # under Wine runs once more: a Wine process now and then fails to start under load. Its
    # first failure stays in the log; a second one fails the stage. The second pass runs the
    # tests that need code page 950 (label cp950) under the Traditional Chinese locale.
    local log=build/windows-x64/ctest.log
    {
        env -u DISPLAY ctest --preset windows-x64 -j 2 --no-tests=error --repeat until-pass:2 &&
            env -u DISPLAY ctest --preset windows-x64-cp950 -j 2 --no-tests=error --repeat until-pass:2
    } 2>&1 | tee "$log"
    local status=${PIPESTATUS[0]}
    [ "$status" -eq 0 ] || return "$status"
    # Wine exits 0 for programs it could not run: demand evidence that tests really ran, in
    # both passes.
    [ "$(grep -Ec '100% tests passed, 0 tests failed out of [1-9]' "$log")" -eq 2 ] || {
        echo "no Windows test ran under Wine in one of the two passes" >&2
        return 1
    }
}

label_check() {
    # Each test carries one subsystem label and a kind label, natively and under Wine.
    tests/check_labels.sh build/native
    tests/check_labels.sh build/windows-x64
}

i686_link_check() {
    # 32-bit programs cannot run here; check that each built program imports only system DLLs.
    local bad=0
    while IFS= read -r -d '' f; do
        if i686-w64-mingw32-objdump -p "$f" | grep -i 'DLL Name' |
            grep -viE 'kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|ole32|oleaut32|setupapi|msvcrt|ws2_32|shlwapi|uxtheme|winmm|version|DfuBridge|DFUEngine|api-ms-win|ucrtbase|ntdll|cfgmgr32|bcrypt|imm32|rpcrt4|winusb|hid'; then
            echo "unexpected import in $f" >&2
            bad=1
        fi
    done < <(find build/windows-x86/bin \( -name '*.exe' -o -name '*.dll' \) -print0)
    [ -f build/windows-x86/bin/QVDFUUpgrade.exe ] || { echo "no i686 program" >&2; return 1; }
    return $bad
}

# What a fresh machine lacks (a quick check when everything is there).
tools/install-deps.sh
stage "format check" format_check
stage "build native" build native
stage "test native" native_tests native
stage "build native-asan" build native-asan
stage "test native-asan" native_tests native-asan
stage "build native-tsan" build native-tsan
stage "test native-tsan" tsan_tests
stage "build windows-x64" build windows-x64
stage "test windows-x64 (Wine)" windows_tests
stage "test labels" label_check
stage "fuzz (libFuzzer)" fuzz_briefly
# The shipped architecture: its three deliverables are built, packed and link-checked.
stage "build windows-x86 + zip" build windows-x86 --target release-zip
stage "link check windows-x86" i686_link_check

echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "all stages passed"

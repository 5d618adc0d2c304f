#!/usr/bin/env bash
# Installs what is missing, checks the formatting, builds every preset and runs every test:
# native (the libusb back end's tests under umockdev-wrapper, as their launcher runs them), the
# Linux package (.deb) checked, native under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded code under
# ThreadSanitizer, the x86_64 and the shipped i686 Windows builds under Wine (64-bit and 32-bit,
# on a private X server), a short libFuzzer run, and the i686 release zip: reproducible,
# signed with a test certificate, link-checked.
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

# windows_tests PRESET: the Windows build's tests under Wine (windows-x86 runs under the 32-bit
# half of Wine, in the same win64 prefix).
windows_tests() {
    local preset=$1
    # The run sets up its own Wine prefix, Wine server and, as DISPLAY is dropped here, a
    # private X server (the wine_session test fixture, tests/wine/session.sh). A test that fails
    # under Wine runs once more: a Wine process now and then fails to start under load. Its
    # first failure stays in the log; a second one fails the stage. The second pass runs the
    # tests that need code page 950 (label cp950) under the Traditional Chinese locale.
    local log=build/$preset/ctest.log
    {
        env -u DISPLAY ctest --preset "$preset" -j 2 --no-tests=error --repeat until-pass:2 &&
            env -u DISPLAY ctest --preset "$preset-cp950" -j 2 --no-tests=error --repeat until-pass:2
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

# The release files of the shipped architecture: a second build of the same commit in another
# folder gives the same zip; a throw-away certificate signs every binary, and the signatures
# verify against it.
release_checks() {
    local zip repro=build/windows-x86-repro sign=build/windows-x86/signing
    zip=$(ls build/windows-x86/KX-V5-Tool-*-i686.zip)
    (cd build/windows-x86 && sha256sum -c --quiet "$(basename "$zip").sha256")
    cmake -S . -B "$repro" -G Ninja --toolchain cmake/toolchain-mingw-i686.cmake \
        -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$repro" -j "$JOBS" --target release-zip >/dev/null
    cmp "$zip" "$repro/$(basename "$zip")" || { echo "two builds of one commit give different zips" >&2; return 1; }
    echo "reproducible: $(cut -d' ' -f1 "$zip.sha256")"

    rm -rf "$sign"
    mkdir -p "$sign/out"
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=KX-V5 Tool test signing" \
        -addext extendedKeyUsage=codeSigning -keyout "$sign/key.pem" -out "$sign/cert.pem" 2>/dev/null
    openssl pkcs12 -export -inkey "$sign/key.pem" -in "$sign/cert.pem" -passout pass:test \
        -out "$sign/test.p12"
    QV_SIGN_PKCS12=$sign/test.p12 QV_SIGN_PASSWORD=test \
        cmake/release_zip.sh build/windows-x86 "$sign/out" "$(basename "$zip" .zip)" "$ROOT"
    local f count=0
    for f in "$sign"/out/stage/*/*.exe "$sign"/out/stage/*/*.dll; do
        osslsigncode verify -CAfile "$sign/cert.pem" -in "$f" >"$sign/verify.log" 2>&1 || {
            cat "$sign/verify.log" >&2
            echo "$(basename "$f"): signature does not verify" >&2
            return 1
        }
        count=$((count + 1))
    done
    [ "$count" -ge 3 ] || { echo "only $count signed binaries" >&2; return 1; }
    echo "signed and verified: $count binaries"
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
stage "package native (.deb)" tests/tools/deb_check.sh build/native
stage "build native-asan" build native-asan
stage "test native-asan" native_tests native-asan
stage "build native-tsan" build native-tsan
stage "test native-tsan" tsan_tests
stage "build windows-x64" build windows-x64
stage "test windows-x64 (Wine)" windows_tests windows-x64
stage "test labels" label_check
stage "fuzz (libFuzzer)" fuzz_briefly
# The shipped architecture: everything built and tested under 32-bit Wine, then packed and
# link-checked.
stage "build windows-x86" build windows-x86
stage "test windows-x86 (Wine 32)" windows_tests windows-x86
stage "zip windows-x86" build windows-x86 --target release-zip
stage "release checks (i686)" release_checks
stage "link check windows-x86" i686_link_check

echo "=== summary"
printf '%s\n' "${summary[@]}"
echo "all stages passed"

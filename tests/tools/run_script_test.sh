#!/usr/bin/env bash
# tools/run.sh never stops without a word: with one step made to fail at a time (by stand-ins
# for cmake, wine and the simulator placed first on PATH), it ends with status 1, names what
# failed in a "run.sh:" line with the reason, and says what to do. The same run with nothing
# failing ends well, which shows that the stand-ins carry it through every step.
#   run_script_test.sh <source folder> <qv-headset-sim> <qvdfufile>
set -uo pipefail
SRC=$1
SIM=$(realpath "$2")
DFUFILE=$(realpath "$3")
WORK=$(mktemp -d /tmp/qv-run-script-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
STUBS=$WORK/stubs
mkdir -p "$STUBS"

# The scripts run from a copy of their folders, where the stand-in build leaves its program.
TREE=$WORK/tree
for f in tools/run.sh tools/wine-lib.sh tools/wine-session.sh tests/wine-env.sh \
    tests/serial/wine/pty_modem_lines.c tests/serial/wine/build_preload.sh; do
    mkdir -p "$TREE/$(dirname "$f")"
    cp -p "$SRC/$f" "$TREE/$f"
done
# Installs nothing (a test must not call apt-get); STUB_DEPS_FAIL=1 makes it fail.
cat >"$TREE/tools/install-deps.sh" <<'EOF'
#!/bin/sh
[ "${STUB_DEPS_FAIL:-0}" = 1 ] && echo "E: Unable to locate package wine64" >&2 && exit 100
exit 0
EOF
chmod +x "$TREE/tools/install-deps.sh"

# cmake: configures nothing and "builds" an empty program; STUB_CMAKE_FAILS=1 makes the
# configure step fail.
cat >"$STUBS/cmake" <<'EOF'
#!/bin/sh
if [ "${STUB_CMAKE_FAILS:-0}" = 1 ] && [ "$1" = --preset ]; then
    echo "CMake Error: the stand-in compiler cannot be found" >&2
    exit 1
fi
if [ "$1" = --build ]; then
    mkdir -p build/windows-x64/bin && touch build/windows-x64/bin/QVDFUUpgrade.exe
fi
exit 0
EOF
# wine: makes a prefix, has no COM5 mapped, maps it unless STUB_REG_ADD_FAILS=1, and runs the
# program with the status STUB_PROGRAM_STATUS.
cat >"$STUBS/wine" <<'EOF'
#!/bin/sh
case "$1 $2" in
    "wineboot "*) touch "$WINEPREFIX/system.reg"; exit 0 ;;
    "reg query") exit 1 ;;
    "reg add")
        if [ "${STUB_REG_ADD_FAILS:-0}" = 1 ]; then
            echo "reg: Unable to access or create the specified registry key"
            exit 1
        fi
        exit 0 ;;
    "./QVDFUUpgrade.exe "*) exit "${STUB_PROGRAM_STATUS:-0}" ;;
esac
exit 0
EOF
printf '#!/bin/sh\nexit 0\n' >"$STUBS/wineserver"
# A simulator that refuses to start, as the real one does with a state file it cannot write.
cat >"$STUBS/sim-refuses" <<'EOF'
#!/bin/sh
echo "qv-headset-sim: cannot write /nowhere/headset.state" >&2
exit 1
EOF
chmod +x "$STUBS"/*

failures=0
# run_case NAME STATUS EXPECTED-TEXT... -- ENVIRONMENT...: runs tools/run.sh with the given
# environment; it must end with STATUS and its output must hold every expected text. A
# failing run must end with a "run.sh:" line followed by at least one line of advice.
run_case() {
    local name=$1 status=$2
    shift 2
    local expected=()
    while [ "$1" != -- ]; do
        expected+=("$1")
        shift
    done
    shift
    local run=$WORK/$name
    mkdir -p "$run"
    env PATH="$STUBS:$PATH" DISPLAY=:99 QV_HEADLESS=0 QV_RUN_DIR="$run" \
        WINEPREFIX="$run/prefix" QV_HEADSET_SIM="$SIM" QV_DFUFILE="$DFUFILE" "$@" \
        bash "$TREE/tools/run.sh" >"$run/out" 2>&1
    local got=$?
    local bad=""
    [ "$got" -eq "$status" ] || bad="status $got, not $status"
    local text
    for text in "${expected[@]}"; do
        grep -qF -- "$text" "$run/out" || bad="${bad:+$bad; }no '$text'"
    done
    if [ "$status" -ne 0 ] &&
        ! awk '/^run\.sh: /{said=1; next} said && /^  [^ ]/{advised=1} END{exit !advised}' "$run/out"; then
        bad="${bad:+$bad; }no 'run.sh:' line with advice after it"
    fi
    if [ -n "$bad" ]; then
        echo "FAIL $name: $bad; its output:"
        sed 's/^/    /' "$run/out"
        failures=$((failures + 1))
    else
        echo "ok   $name"
    fi
}

run_case everything-works 0 "simulated headset on COM5" -- STUB_PROGRAM_STATUS=0
run_case reg-add-fails 1 "run.sh: the simulated headset could not be set up as COM5" \
    "cannot map COM5 in the Wine prefix" "Unable to access or create" -- STUB_REG_ADD_FAILS=1
run_case simulator-refuses 1 "run.sh: the simulated headset could not be set up as COM5" \
    "cannot write /nowhere/headset.state" -- QV_HEADSET_SIM="$STUBS/sim-refuses"
run_case packages-fail 1 "run.sh: installing the packages the tool needs failed" \
    "Unable to locate package" -- STUB_DEPS_FAIL=1
run_case configure-fails 1 "run.sh: configuring the Windows build failed" \
    "the stand-in compiler cannot be found" -- STUB_CMAKE_FAILS=1
run_case program-fails 1 "run.sh: the program ended with status 3" -- STUB_PROGRAM_STATUS=3

# A run folder given relative to the source folder: Wine's COM5 link must still hold a whole
# path, or the program finds no port.
run_case relative-run-folder 0 "simulated headset on COM5" -- QV_RUN_DIR=build/relative-run
link=$(readlink "$WORK/relative-run-folder/prefix/dosdevices/com5" || true)
case $link in
    /*) echo "ok   relative-run-folder: COM5 leads to $link" ;;
    *)
        echo "FAIL relative-run-folder: COM5 leads to '$link', not a whole path"
        failures=$((failures + 1))
        ;;
esac

[ "$failures" -eq 0 ] || exit 1
echo "tools/run.sh said what failed and what to do in every case"

#!/usr/bin/env bash
# Runs the KX-V5 Tool: builds the Windows program (x86_64) and starts it under Wine against the
# simulated headset (serial side on a pty mapped as COM5, DFU side on loopback TCP). On your
# display when there is one; otherwise on a private X server, where a short scripted session
# (start, open COM5, read the headset) writes screenshots to build/screenshots/.
#
#   tools/run.sh                       English (or your locale's language)
#   LC_ALL=zh_TW.UTF-8 tools/run.sh    Traditional Chinese
#   QV_HEADLESS=1 tools/run.sh         the scripted session even with a display
#   QV_HEADLESS=1 QV_WATCH_UPGRADE=1 tools/run.sh
#                                      the session also upgrades the simulated headset, at a
#                                      headset's pace, with a screenshot a second
#
# A sample firmware file for the simulated headset is written to build/run/KX-V5_v103.dfu; the
# headset keeps its settings in build/run/headset.state (delete it to start afresh).
# QV_DFU_PORT chooses the simulated DFU device's port, QV_RUN_DIR the run folder.
# On Windows with a real headset the program needs nothing but its two DLLs beside it.
#
# Every step that fails says what failed and what to do, and the script ends with status 1.
set -Eeuo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
export QV_ROOT=$ROOT
RUN=${QV_RUN_DIR:-$ROOT/build/run}

# fail WHAT [WHAT TO DO...]: the failed step and the advice, then the end.
fail() {
    echo "run.sh: $1" >&2
    shift
    local hint
    for hint in "$@"; do echo "  $hint" >&2; done
    exit 1
}
# A command that fails outside the steps below (errtrace: also inside a function) still names
# itself.
trap 'echo "run.sh: stopped: \"$BASH_COMMAND\" failed (line $LINENO, status $?)" >&2' ERR

# logged LOG COMMAND...: runs COMMAND with its output in LOG; on failure shows the log's end.
logged() {
    local log=$1
    shift
    "$@" >"$log" 2>&1 && return 0
    local status=$?
    tail -n 25 "$log" >&2
    return "$status"
}

mkdir -p "$RUN" || fail "cannot make the run folder $RUN" "choose a writable folder with QV_RUN_DIR"

tools/install-deps.sh ||
    fail "installing the packages the tool needs failed (see above)" \
        "run tools/install-deps.sh as root or as a user who may use sudo, or install the" \
        "Debian packages it lists by hand"
logged "$RUN/configure.log" cmake --preset windows-x64 ||
    fail "configuring the Windows build failed (log: $RUN/configure.log)" \
        "a stale build folder can cause this: remove build/windows-x64 and run again"
cmake --build --preset windows-x64 -j "$(nproc)" --target QVDFUUpgrade ||
    fail "building the Windows program failed (errors above)" \
        "remove build/windows-x64 and run again; if that does not help, report the errors"
EXE=$ROOT/build/windows-x64/bin/QVDFUUpgrade.exe
[ -f "$EXE" ] || fail "the build made no $EXE" "remove build/windows-x64 and run again"

# shellcheck source=tools/wine-lib.sh
. tools/wine-lib.sh
QV_JOBS=$(nproc) qv_native_tools ||
    fail "cannot build the simulated headset (qv-headset-sim) and qvdfufile" \
        "see why with: cmake --preset native && cmake --build --preset native --target qv-headset-sim qvdfufile"
# The simulated DFU device listens on QV_DFU_PORT, else on a free loopback port.
DFU_PORT=${QV_DFU_PORT:-$(qv_free_port)} ||
    fail "no free loopback TCP port for the simulated DFU device" \
        "choose one with QV_DFU_PORT=<port> tools/run.sh"
qv_wine_prefix_ready || true  # judged by its result, the prefix's registry
[ -f "$WINEPREFIX/system.reg" ] ||
    fail "Wine could not make its prefix $WINEPREFIX" \
        "check that 'wine --version' works, then remove $WINEPREFIX and run again"
qv_pty_preload "$RUN" ||
    fail "cannot build the pty helper library that Wine's serial port needs" \
        "a C compiler (cc) is needed: tools/install-deps.sh installs one"
qv_make_firmware "$RUN" ||
    fail "cannot make the sample firmware file $RUN/KX-V5_v103.dfu (reason above)" \
        "check that $RUN can be written and has room"

# The simulated headset, mapped as COM5 in the Wine prefix. Wine stops first: a wineserver
# holding the port would get a hang-up from the closing pty.
trap 'qv_wine_stop; qv_sim_stop' EXIT
qv_sim_start "$RUN" "$DFU_PORT" ||
    fail "the simulated headset could not be set up as COM5 (reason above; its log: $RUN/headset.log)" \
        "a simulator left from an earlier run may hold the port: end it (pgrep -a qv-headset-sim)" \
        "a broken Wine prefix can refuse the mapping: remove $WINEPREFIX and run again"
echo "simulated headset on COM5 (log: $RUN/headset.log), firmware file: $RUN/KX-V5_v103.dfu"
export LD_PRELOAD=$QV_PTY_PRELOAD
if [ -n "${DISPLAY:-}" ] && [ "${QV_HEADLESS:-0}" != 1 ]; then
    status=0
    (cd "$(dirname "$EXE")" && wine ./QVDFUUpgrade.exe) || status=$?
    [ "$status" -eq 0 ] ||
        fail "the program ended with status $status" \
            "Wine's own messages are above; WINEDEBUG=err+all tools/run.sh shows more"
    exit 0
fi

# A Wine server started above on your display would put the window there, not on the private
# X server: the session starts one of its own.
qv_wine_stop
mkdir -p build/screenshots
suffix=""
case "${LC_ALL:-${LANG:-}}" in zh_TW*) suffix=-zh_TW ;; esac
upgrade=""
[ "${QV_WATCH_UPGRADE:-0}" != 1 ] || upgrade=$RUN/KX-V5_v103.dfu
QV_SESSION_OPEN_PORT=COM5 QV_SESSION_UPGRADE=$upgrade xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/wine-session.sh "$EXE" "build/screenshots/main-window$suffix.png" ||
    fail "the scripted session without a display failed (reason above)" \
        "the screenshots it took are in build/screenshots/; run again with a display to watch"
echo "screenshots: build/screenshots/main-window$suffix*.png"

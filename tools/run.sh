#!/usr/bin/env bash
# Runs the KX-V5 Tool: builds the Windows program (x86_64) and starts it under Wine against the
# simulated headset (serial side on a pty mapped as COM5, DFU side on loopback TCP). On your
# display when there is one; otherwise on a private X server, where a short scripted session
# (start, open COM5, read the headset) writes screenshots to build/screenshots/.
#
#   tools/run.sh                       English (or your locale's language)
#   LC_ALL=zh_TW.UTF-8 tools/run.sh    Traditional Chinese
#   QV_HEADLESS=1 tools/run.sh         the scripted session even with a display
#
# A sample firmware file for the simulated headset is written to build/run/KX-V5_v103.dfu.
# On Windows with a real headset the program needs nothing but its two DLLs beside it.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
export QV_ROOT=$ROOT
RUN=$ROOT/build/run

tools/install-deps.sh
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$(nproc)" --target QVDFUUpgrade
EXE=$ROOT/build/windows-x64/bin/QVDFUUpgrade.exe

# shellcheck source=tools/wine-lib.sh
. tools/wine-lib.sh
QV_JOBS=$(nproc) qv_native_tools
# The simulated DFU device listens on QV_DFU_PORT, else on a free loopback port.
DFU_PORT=${QV_DFU_PORT:-$(qv_free_port)}
qv_wine_prefix_ready
mkdir -p "$RUN"
qv_pty_preload "$RUN"
qv_make_firmware "$RUN"

# The simulated headset, mapped as COM5 in the Wine prefix. Wine stops first: a wineserver
# holding the port would get a hang-up from the closing pty.
trap 'qv_wine_stop; qv_sim_stop' EXIT
qv_sim_start "$RUN" "$DFU_PORT"
echo "simulated headset on COM5 (log: $RUN/headset.log), firmware file: $RUN/KX-V5_v103.dfu"
export LD_PRELOAD=$QV_PTY_PRELOAD
if [ -n "${DISPLAY:-}" ] && [ "${QV_HEADLESS:-0}" != 1 ]; then
    cd "$(dirname "$EXE")"
    wine ./QVDFUUpgrade.exe
    exit 0
fi

# A Wine server started above on your display would put the window there, not on the private
# X server: the session starts one of its own.
qv_wine_stop
mkdir -p build/screenshots
suffix=""
case "${LC_ALL:-${LANG:-}}" in zh_TW*) suffix=-zh_TW ;; esac
QV_SESSION_OPEN_PORT=COM5 xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/wine-session.sh "$EXE" "build/screenshots/main-window$suffix.png"
echo "screenshots: build/screenshots/main-window$suffix*.png"

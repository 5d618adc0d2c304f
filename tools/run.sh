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
DFU_PORT=${QV_DFU_PORT:-47123}

tools/install-deps.sh
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$(nproc)" --target QVDFUUpgrade
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target qv-headset-sim qvdfufile
EXE=$ROOT/build/windows-x64/bin/QVDFUUpgrade.exe
SIM=$(find build/native -type f -name qv-headset-sim | head -n 1)
DFUFILE=$(find build/native -type f -name qvdfufile | head -n 1)

# shellcheck source=tests/wine-env.sh
. tests/wine-env.sh
qv_wine_prefix_ready
mkdir -p "$RUN/com"

# Wine's serial code asks a tty for its modem lines, which a pty has not: a small preload
# library answers for it.
cc -shared -fPIC -O2 -o "$RUN/libqvptymodem.so" tests/serial/wine/pty_modem_lines.c -ldl

# A firmware file the simulated headset accepts (vendor 1209, product 4B58).
head -c 262144 /dev/urandom >"$RUN/image.bin"
"$DFUFILE" pack -i "$RUN/image.bin" -o "$RUN/KX-V5_v103.dfu" -v 1209 -p 4B58 -r 0103 \
    -c "QuorVane KX-V5 V1.03" >/dev/null

# The simulated headset, mapped as COM5 in the Wine prefix.
"$SIM" --com COM5 --com-dir "$RUN/com" --wine-prefix "$WINEPREFIX" --dfu-port "$DFU_PORT" \
    --state "$RUN/headset.state" >"$RUN/headset.log" 2>&1 &
SIM_PID=$!
trap 'kill $SIM_PID 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    grep -q READY "$RUN/headset.log" 2>/dev/null && break
    sleep 0.05
done
grep -q READY "$RUN/headset.log" || { cat "$RUN/headset.log" >&2; exit 1; }
wineserver -k 2>/dev/null || true  # the new port mapping is read when Wine starts
echo "simulated headset on COM5 (log: $RUN/headset.log), firmware file: $RUN/KX-V5_v103.dfu"

export QV_DFU_LOOPBACK=127.0.0.1:$DFU_PORT
export LD_PRELOAD=$RUN/libqvptymodem.so
if [ -n "${DISPLAY:-}" ] && [ "${QV_HEADLESS:-0}" != 1 ]; then
    cd "$(dirname "$EXE")"
    wine ./QVDFUUpgrade.exe
    exit 0
fi

mkdir -p build/screenshots
suffix=""
case "${LC_ALL:-${LANG:-}}" in zh_TW*) suffix=-zh_TW ;; esac
QV_SESSION_OPEN_PORT=COM5 xvfb-run -a -s "-screen 0 1024x768x24" \
    tools/wine-session.sh "$EXE" "build/screenshots/main-window$suffix.png"
echo "screenshots: build/screenshots/main-window$suffix*.png"

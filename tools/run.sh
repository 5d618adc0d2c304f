#!/usr/bin/env bash
# Runs the KX-V5 Tool: builds the Windows program (x86_64) and starts it under Wine, on your
# display when there is one. Without a display it runs on a private X server, waits for the
# main window, writes a screenshot to build/screenshots/ and closes the program again.
#   tools/run.sh            English (or your locale's language)
#   LC_ALL=zh_TW.UTF-8 tools/run.sh   Traditional Chinese
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
export QV_ROOT=$ROOT

tools/install-deps.sh
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 -j "$(nproc)" --target QVDFUUpgrade

# shellcheck source=tests/wine-env.sh
. tests/wine-env.sh
qv_wine_prefix_ready
EXE=$(find build/windows-x64 -name QVDFUUpgrade.exe -not -path '*/CMakeFiles/*' | head -n 1)

if [ -n "${DISPLAY:-}" ] && [ "${QV_HEADLESS:-0}" != 1 ]; then
    cd "$(dirname "$EXE")"
    exec wine ./QVDFUUpgrade.exe
fi

mkdir -p build/screenshots
shot=build/screenshots/main-window${LC_ALL:+-${LC_ALL%%.*}}.png
xvfb-run -a -s "-screen 0 1024x768x24" tools/wine-session.sh "$EXE" "$shot"
echo "screenshot: $shot"

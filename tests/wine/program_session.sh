#!/bin/sh
# One scripted session with the real program (tools/wine-session.sh), on the current display
# or on a private X server, in a given language; then checks the settings file it wrote.
#   program_session.sh en|zh_TW <QVDFUUpgrade.exe> <screenshot folder>
set -eu
lang=$1
exe=$2
shots=$3
mkdir -p "$shots"
if [ "$lang" = zh_TW ]; then
    export LC_ALL=zh_TW.UTF-8
    shot="$shots/main-window-zh_TW.png"
else
    export LC_ALL=C.UTF-8
    shot="$shots/main-window.png"
fi
. "$QV_ROOT/tests/wine-env.sh"
ini=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/QVBFU/QVDFUUpgrade.INI' 2>/dev/null | head -n 1)
[ -n "$ini" ] && rm -f "$ini"
if [ -n "${DISPLAY:-}" ]; then
    "$QV_ROOT/tools/wine-session.sh" "$exe" "$shot"
else
    xvfb-run -a -s "-screen 0 1024x768x24" "$QV_ROOT/tools/wine-session.sh" "$exe" "$shot"
fi
ini=$(find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/QVBFU/QVDFUUpgrade.INI' | head -n 1)
grep -q '^DFU_FileName=' "$ini" || {
    echo "settings file not written: ${ini:-none}" >&2
    exit 1
}
echo "screenshot $shot, settings file $ini"

#!/usr/bin/env bash
# A short scripted session with the real program under Wine on the current X display:
# start it, wait for the main window, answer the start-up prompt, take a screenshot, close it
# with its Exit button. Exits non-zero when the window does not appear or the program does
# not end cleanly.
#   tools/wine-session.sh <path of QVDFUUpgrade.exe> <screenshot.png>
# QV_SESSION_OPEN_PORT=COMn also opens that port; QV_SESSION_UPGRADE=<file.dfu> then upgrades
# the headset with that file, with a screenshot a second (<screenshot>-upgrade-NN.png).
set -euo pipefail
EXE=$1
SHOT=$2
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
# shellcheck source=tools/wine-lib.sh
. "$QV_ROOT/tools/wine-lib.sh"
qv_wine_prefix_ready

# The caption the window must carry in the chosen language.
title=$(qv_main_title)

start=$(date +%s%N)
(cd "$(dirname "$EXE")" && exec wine ./QVDFUUpgrade.exe) &
pid=$!

# Polled every 20 ms (xdotool's own --sync waits in half seconds), for at most 60 s.
shown_or_ended() { wid=$(qv_window "$title") || ! kill -0 "$pid" 2>/dev/null; }
wid=""
qv_wait 60 shown_or_ended || true
if [ -z "$wid" ]; then
    echo "main window '$title' did not appear; windows on the display:" >&2
    qv_list_windows >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
shown=$(date +%s%N)
echo "window shown after $(((shown - start) / 1000000)) ms"

# The start-up prompt (caption "Note" / "注意") comes 100 ms after the window: answer it.
if qv_wait_window "$(qv_caption note)" 10 >/dev/null; then
    sleep 0.3
    import -window root "${SHOT%.png}-prompt.png" || true
    xdotool key Return
fi
sleep 0.5
import -window root "$SHOT"

click_client() { qv_click_client "$wid" "$1" "$2"; }

# The upgrade with the given file, a screenshot a second until its closing box (a note or an
# error), which is shot too and answered.
watch_upgrade() {
    qv_choose_firmware "$wid" "$1" || { echo "the file dialog did not open or close" >&2; return 1; }
    click_client 132 322 # Start firmware upgrade
    local n=0 box=""
    while [ "$n" -lt 180 ]; do
        n=$((n + 1))
        import -window root "$(printf '%s-upgrade-%02d.png' "${SHOT%.png}" "$n")" || true
        box=$(qv_window "$(qv_caption note)" || qv_window "$(qv_caption error)") && break
        sleep 1
    done
    [ -n "$box" ] || { echo "the upgrade did not end within 3 minutes" >&2; return 1; }
    sleep 0.3
    import -window root "${SHOT%.png}-upgrade-end.png" || true
    qv_press_box_button "$box"
    sleep 8 # the headset comes back, the port is opened again and the headset read
    import -window root "${SHOT%.png}-upgraded.png"
    echo "upgrade: $n screenshots, ${SHOT%.png}-upgrade-*.png"
}

# With QV_SESSION_OPEN_PORT=COMn: select that row of the port list (rows of 13 px from 16,16),
# open it, let the headset be read, and take a second screenshot.
if [ -n "${QV_SESSION_OPEN_PORT:-}" ]; then
    row=$(qv_com_row "$QV_SESSION_OPEN_PORT")
    if [ -n "$row" ]; then
        click_client 200 $((22 + 13 * row))
        click_client 584 32
        sleep 3
        import -window root "${SHOT%.png}-connected.png"
        [ -z "${QV_SESSION_UPGRADE:-}" ] || watch_upgrade "$QV_SESSION_UPGRADE"
    else
        echo "port $QV_SESSION_OPEN_PORT is not listed" >&2
    fi
fi

# Exit button: client coordinates 640,488 size 177x41.
click_client 728 508
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
    echo "program did not end after Exit" >&2
    kill "$pid" 2>/dev/null || true
    exit 1
fi
wait "$pid"

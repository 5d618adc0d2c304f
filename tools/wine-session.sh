#!/usr/bin/env bash
# A short scripted session with the real program under Wine on the current X display:
# start it, wait for the main window, answer the start-up prompt, take a screenshot, close it
# with its Exit button. Exits non-zero when the window does not appear or the program does
# not end cleanly.
#   tools/wine-session.sh <path of QVDFUUpgrade.exe> <screenshot.png>
set -euo pipefail
EXE=$1
SHOT=$2
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "$0")/.." && pwd)}
# shellcheck source=tests/wine-env.sh
. "$QV_ROOT/tests/wine-env.sh"
qv_wine_prefix_ready

# The caption the window must carry in the chosen language.
case "${LC_ALL:-${LANG:-}}" in
    zh_TW*) title='KX-V5 設定工具, V1.00' ;;
    *) title='KX-V5 Tool Program, V1.00' ;;
esac

start=$(date +%s%N)
(cd "$(dirname "$EXE")" && exec wine ./QVDFUUpgrade.exe) &
pid=$!

# Polled every 20 ms (xdotool's own --sync waits in half seconds), for at most 60 s.
wid=""
for _ in $(seq 1 3000); do
    wid=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n 1) || true
    [ -n "$wid" ] && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.02
done
if [ -z "$wid" ]; then
    echo "main window '$title' did not appear; windows on the display:" >&2
    for w in $(xdotool search --name . 2>/dev/null); do echo "  $w $(xdotool getwindowname "$w")" >&2; done
    kill "$pid" 2>/dev/null || true
    exit 1
fi
shown=$(date +%s%N)
echo "window shown after $(((shown - start) / 1000000)) ms"

# The start-up prompt (caption "Note" / "注意") comes 100 ms after the window: answer it.
case "$title" in
    KX-V5\ Tool*) note='^Note$' ;;
    *) note='^注意$' ;;
esac
if timeout 10 xdotool search --sync --onlyvisible --name "$note" >/dev/null; then
    sleep 0.3
    import -window root "${SHOT%.png}-prompt.png" || true
    xdotool key Return
fi
sleep 0.5
import -window root "$SHOT"

# Clicks at client coordinates of the main window (883 x 544). With Wine's virtual desktop
# the X window may include the frame Wine draws: the client area sits at the bottom centre.
click_client() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    local border=$(((WIDTH - 883) / 2))
    local top=$((HEIGHT - 544 - border))
    xdotool mousemove --window "$wid" $((border + $1)) $((top + $2)) click 1
}

# With QV_SESSION_OPEN_PORT=COMn: select that row of the port list (rows of 13 px from 16,16),
# open it, let the headset be read, and take a second screenshot.
if [ -n "${QV_SESSION_OPEN_PORT:-}" ]; then
    row=$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' |
        awk '{print $NF}' | grep -E '^COM[0-9]+$' | sed 's/COM//' | sort -n |
        awk -v want="${QV_SESSION_OPEN_PORT#COM}" '$1 == want {print NR - 1}')
    if [ -n "$row" ]; then
        click_client 200 $((22 + 13 * row))
        click_client 584 32
        sleep 3
        import -window root "${SHOT%.png}-connected.png"
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

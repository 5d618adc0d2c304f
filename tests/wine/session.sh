#!/usr/bin/env bash
# The Wine session of one ctest run of a Windows build, run as a test fixture: the project's
# prefix (made on first use), one Wine server kept up for the whole run, and, when there is no
# display, a private X server that the run's Wine programs use (tests/wine-env.sh finds it).
#   session.sh start|stop
set -euo pipefail
export QV_ROOT=${QV_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
# shellcheck source=tests/wine-env.sh
. "$QV_ROOT/tests/wine-env.sh"
display_file=$WINEPREFIX/.qv-display

stop_private_display() {
    if [ -f "$display_file" ]; then
        read -r pid _ <"$display_file" || true
        [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
        rm -f "$display_file"
    fi
}

case "${1:-}" in
start)
    qv_wine_prefix_ready
    # A Wine server left by the listing of the tests (ctest runs each program to list its
    # cases) may have no display: windows need one started here.
    qv_wine_stop
    wineserver -w 2>/dev/null || true
    if [ -z "${DISPLAY:-}" ]; then
        stop_private_display
        number_file=$(mktemp)
        Xvfb -displayfd 9 -screen 0 1024x768x24 -nolisten tcp 9>"$number_file" >/dev/null 2>&1 &
        pid=$!
        for _ in $(seq 100); do
            [ -s "$number_file" ] && break
            sleep 0.05
        done
        number=$(tr -d '\n' <"$number_file")
        rm -f "$number_file"
        [ -n "$number" ] || {
            echo "could not start a private X server (Xvfb, Debian package xvfb)" >&2
            exit 1
        }
        echo "$pid :$number" >"$display_file"
        export DISPLAY=:$number
        echo "private X server on display :$number"
    fi
    qv_wine_start
    echo "Wine session in $WINEPREFIX on display $DISPLAY"
    ;;
stop)
    qv_wine_stop
    stop_private_display
    ;;
*)
    echo "usage: $0 start|stop" >&2
    exit 2
    ;;
esac

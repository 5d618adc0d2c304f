#!/usr/bin/env bash
# Test rig for the Windows build under Wine: joins two COM ports with a pty pair.
#
#   pty_line.sh start <rig folder>   builds the modem-line preload library, starts socat with
#                                    a pty pair, maps COM87 and COM88 onto its two ends in
#                                    the Wine prefix's dosdevices folder
#   pty_line.sh stop <rig folder>    stops that socat and removes the mappings
#
# The tests then run with LD_PRELOAD=<rig folder>/$LIB/libqvptymodem.so (see
# pty_modem_lines.c and build_preload.sh).
set -euo pipefail
action=$1
rig=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/wine-env.sh
. "$here/../../wine-env.sh"
prefix=$WINEPREFIX

case "$action" in
start)
    mkdir -p "$rig"
    "$here/build_preload.sh" "$rig" >"$rig/preload"
    rm -f "$rig/ttyA" "$rig/ttyB"
    socat pty,raw,echo=0,link="$rig/ttyA" pty,raw,echo=0,link="$rig/ttyB" >"$rig/socat.log" 2>&1 &
    echo $! >"$rig/socat.pid"
    for _ in $(seq 100); do
        [ -e "$rig/ttyA" ] && [ -e "$rig/ttyB" ] && break
        sleep 0.05
    done
    [ -e "$rig/ttyA" ] && [ -e "$rig/ttyB" ] || { echo "socat did not make the pty pair" >&2; exit 1; }
    mkdir -p "$prefix/dosdevices"
    ln -sfn "$(readlink -f "$rig/ttyA")" "$prefix/dosdevices/com87"
    ln -sfn "$(readlink -f "$rig/ttyB")" "$prefix/dosdevices/com88"
    ;;
stop)
    if [ -f "$rig/socat.pid" ]; then
        kill "$(cat "$rig/socat.pid")" 2>/dev/null || true
        rm -f "$rig/socat.pid"
    fi
    rm -f "$prefix/dosdevices/com87" "$prefix/dosdevices/com88"
    ;;
*)
    echo "usage: $0 start|stop <rig folder>" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# The query sequence of the real Windows program under Wine, step by step: each program given
# is started against the simulated headset (COM5 on a pty, a pause of GAP ms between "OK" and
# the status line, every request and write timed by the simulator), COM5 is opened RUNS times
# and the simulator's log gives, per program,
#   - the gap per step: from the headset's status line to the program's next request (median
#     and max over all steps of all runs), goal: a median of at most 9 ms;
#   - the whole sequence: first request in to last status line out (median), beside the wire
#     time of its bytes at 115200 baud plus the nine pauses, goal: within 1.5 x that.
# The native figure (headless window, POSIX serial layer: query_bench) is measured the same way.
# A measurement, not a test. Runs on the current display or on a private X server.
#   tools/bench/wine_query_bench.sh [--runs N] [--gap MS] LABEL=QVDFUUpgrade.exe...
# For example, before and after a change (the "before" program built in another worktree):
#   tools/bench/wine_query_bench.sh before=../old/build/windows-x64/bin/QVDFUUpgrade.exe \
#       after=build/windows-x64/bin/QVDFUUpgrade.exe
set -euo pipefail
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
RUNS=10
GAP=15
while [ $# -gt 0 ]; do
    case $1 in
        --runs) RUNS=$2; shift 2 ;;
        --gap) GAP=$2; shift 2 ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
done
[ $# -gt 0 ] || { sed -n '2,15p' "$0" >&2; exit 2; }
QV_ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$QV_ROOT/tools/bench
# shellcheck source=tools/wine-lib.sh
. "$QV_ROOT/tools/wine-lib.sh"
export LC_ALL=C.UTF-8
WORK=$(mktemp -d /tmp/qv-wine-query-bench-XXXXXX)

fail() { echo "wine_query_bench: $*" >&2; exit 1; }

qv_native_tools || fail "cannot build qv-headset-sim and qvdfufile (cmake --preset native)"
(cd "$QV_ROOT" && cmake --build --preset native --target query_bench >/dev/null) ||
    fail "cannot build query_bench (cmake --preset native)"
QUERY_BENCH=$(find "$QV_ROOT/build/native" -type f -name query_bench | head -n 1)
qv_wine_prefix_ready
qv_pty_preload "$WORK" || fail "cannot build the pty preload library"
port=$(qv_free_port) || fail "no free loopback port"

PROGRAM_PID=""
cleanup() {
    [ -z "$PROGRAM_PID" ] || kill "$PROGRAM_PID" 2>/dev/null || true
    qv_wine_stop
    qv_sim_stop
    rm -rf "$WORK"
}
trap cleanup EXIT
qv_sim_start "$WORK" "$port" --fault "gap=$GAP" --timestamps --dfu-pace fast ||
    fail "the simulated headset did not start"
LOG=$WORK/headset.log
qv_wine_start

completed() { [ "$(tail -n +"$1" "$LOG" | grep -c -- '-> +QVSTS1=5,')" -ge 1 ]; }

# measure LABEL EXE: RUNS sequences of one program; its part of the log goes to WORK/LABEL.log.
measure() {
    local label=$1 exe
    exe=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
    [ -f "$exe" ] || fail "$label: no program $exe"
    (cd "$(dirname "$exe")" && LD_PRELOAD=$QV_PTY_PRELOAD exec wine ./QVDFUUpgrade.exe) \
        >"$WORK/$label-program.log" 2>&1 &
    PROGRAM_PID=$!
    local wid prompt row start
    wid=$(qv_wait_window "$(qv_main_title)" 60) || fail "$label: the main window did not appear"
    prompt=$(qv_wait_window "$(qv_caption note)" 10) || fail "$label: no start-up prompt"
    qv_press_box_button "$prompt"
    qv_wait 5 qv_no_window "$(qv_caption note)" || fail "$label: the prompt stayed"
    row=$(qv_com_row COM5)
    [ -n "$row" ] || fail "COM5 is not listed"
    qv_click_client "$wid" 200 $((24 + 13 * row))
    start=$(($(wc -l <"$LOG") + 1))
    local run from
    for run in $(seq 1 "$RUNS"); do
        from=$(($(wc -l <"$LOG") + 1))
        qv_click_client "$wid" 584 32                      # Open COM Port
        qv_wait 10 completed "$from" || fail "$label: run $run: the query sequence did not end"
        sleep 0.3
        qv_click_client "$wid" 584 96                      # Close COM Port
        sleep 0.3
    done
    tail -n +"$start" "$LOG" >"$WORK/$label.log"
    qv_click_client "$wid" 728 508                         # Exit
    qv_wait 10 eval '! kill -0 "$PROGRAM_PID" 2>/dev/null' || kill "$PROGRAM_PID" 2>/dev/null || true
    wait "$PROGRAM_PID" 2>/dev/null || true
    PROGRAM_PID=""
}

# row LABEL LOG: one line of the table.
row() {
    local figures
    figures=$(awk -v runs="$RUNS" -f "$HERE/query_gaps.awk" "$2") || fail "$1: no complete sequence in its log"
    # shellcheck disable=SC2086
    set -- "$1" $figures
    # $2 sequences $3 N $4 gaps $5 G $6 .. $7 median $8 .. $9 max $10 .. $11 whole $12 .. $13 wire
    awk -v label="$1" -v n="$3" -v median="$7" -v max="$9" -v whole="${11}" -v wire="${13}" -v gap="$GAP" '
        BEGIN {
            budget = wire + 9 * gap
            printf "%-26s %6.1f %7.1f %11.1f %11.1f %6.2f   %s\n", label, median, max, whole,
                budget, whole / budget,
                (median <= 9 && whole <= 1.5 * budget) ? "met" : "not met"
        }'
}

for given in "$@"; do
    measure "${given%%=*}" "${given#*=}"
done
qv_wine_stop
"$QUERY_BENCH" "$QV_HEADSET_SIM" "$RUNS" --gap "$GAP" --log "$WORK/native.log" >/dev/null ||
    fail "query_bench failed"

echo "Query sequence (9 steps), headset pause $GAP ms between \"OK\" and the status line, $RUNS runs each"
echo "gap: headset's status line to the next request; whole: first request to last status line"
printf '%-26s %6s %7s %11s %11s %6s   %s\n' "program" "gap" "gap" "whole" "wire +" "whole/" "goal"
printf '%-26s %6s %7s %11s %11s %6s\n' "" "median" "max" "median" "pauses" "budget"
printf '%-26s %6s %7s %11s %11s\n' "" "ms" "ms" "ms" "ms"
# The program's own architecture: an i686 program runs under the 32-bit half of Wine.
architecture() {
    case $(file -b "$1") in
        PE32+*) echo x86_64 ;;
        PE32*) echo i686 ;;
        *) echo "?" ;;
    esac
}
for given in "$@"; do
    row "${given%%=*} (Wine, $(architecture "${given#*=}"))" "$WORK/${given%%=*}.log"
done
row "native (query_bench)" "$WORK/native.log"
echo "goal: median gap <= 9 ms and whole <= 1.5 x (wire + pauses)"

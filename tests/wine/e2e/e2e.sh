#!/usr/bin/env bash
# End-to-end suite: the real Windows program under Wine, driven from outside with xdotool
# against the simulated headset (serial side on a pty mapped as COM5, DFU side on loopback).
# Every check looks from outside: the requests the headset saw, its stored settings, the
# message boxes by caption, screenshots. Runs on the current display, or on a private X
# server when there is none.
#   e2e.sh <QVDFUUpgrade.exe> <screenshot folder> [run folder]
set -euo pipefail
# Inside a ctest run without a display: the run's private X server (tests/wine-env.sh).
# shellcheck source=tests/wine-env.sh
. "$(cd "$(dirname "$0")/../.." && pwd)/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" "$@"
fi
EXE=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SHOTS=$2
WORK=${3:-$(dirname "$SHOTS")/e2e}
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "$0")/../../.." && pwd)}
HERE=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tools/wine-lib.sh
. "$QV_ROOT/tools/wine-lib.sh"
# shellcheck source=tests/wine/e2e/steps.sh
. "$HERE/steps.sh"

suite_start=$SECONDS
mkdir -p "$SHOTS" "$WORK"
# Whole paths: the COM5 links made from them must lead somewhere from any folder.
SHOTS=$(cd "$SHOTS" && pwd)
WORK=$(cd "$WORK" && pwd)
rm -f "$SHOTS"/e2e-*.png "$WORK/headset.state"
LOG=$WORK/headset.log
STATE=$WORK/headset.state
CONTROL=$WORK/control
: >"$CONTROL"

qv_native_tools || fail "cannot build the simulated headset and qvdfufile"
qv_wine_prefix_ready
qv_pty_preload "$WORK" || fail "cannot build the pty preload library"
qv_make_firmware "$WORK" || fail "cannot make the firmware file"
port=$(qv_free_port) || fail "no free loopback port"

cleanup() {
    kill_program
    relay_stop
    qv_sim_stop
}
trap cleanup EXIT
# The DFU device as fast as the engine asks (tools/run.sh keeps a headset's pace).
qv_sim_start "$WORK" "$port" --control "$CONTROL" --dfu-pace fast ||
    fail "the simulated headset did not start"
cp "$STATE" "$WORK/defaults.state" 2>/dev/null || true

scenario() {
    local name=$1 start=${EPOCHREALTIME/./}
    echo "=== $name"
    "$2"
    echo "PASS $name ($(((${EPOCHREALTIME/./} - start) / 1000)) ms)"
}

# Opening COM5 reads the headset: requests 7, 8, 9, 10, 1, 2, 3, 4, 5, byte for byte (through
# the relay until the upgrade), one at a time (see the silent headset for the proof that none
# is sent before the answer).
open_and_read() {
    export LC_ALL=C.UTF-8
    relay_start
    start_program
    local m
    m=$(mark)
    open_port COM5
    expect_requests "$m" "${QUERY[@]}"
    grep -qxF -- '-> +QVSTS1=8,102\r\n' "$LOG" || fail "the version was not answered"
    version_label "$WORK/version-before.png"
    shot connected
}

# Presses the open page's Save button: the "Save successfully." note (shot as $1) is answered
# and the requests after the click are exactly the rest of the arguments.
save_page() {
    local shot_name=$1 m box
    shift
    m=$(mark)
    page_click 688 268
    box=$(wait_box note 10)
    shot "$shot_name"
    expect_icon "$box" information
    ok_box "$box"
    expect_requests "$m" "$@"
}

# Each page saves what was changed; the headset stores it.
save_settings() {
    tab speed-dial
    page_click 250 50
    xdotool type --delay 20 '+886*12#'
    save_page speed-dial-saved "AT+QVCMD1=21,+886*12#" "AT+QVCMD1=22," "AT+QVCMD1=23,"

    tab a2dp
    page_click 381 45 # up arrow of the A2DP share: 50 -> 51
    save_page a2dp-saved "AT+QVCMD1=24,51"

    tab gps
    page_click 381 45 # up arrow of the GPS share: 70 -> 71
    page_click 381 93 # sharing: Yes -> No
    save_page gps-saved "AT+QVCMD1=25,71,0"
    expect_state "SpeedDial1=+886*12#" "A2dpMixPercent=51" "GpsMixPercent=71" "GpsVoiceSharing=0"
}

# Restore default settings, answered Yes: command 27, the headset read again, a closing note.
restore_defaults() {
    local m box
    m=$(mark)
    click 512 508
    box=$(wait_box note 10)
    shot restore-confirm
    expect_icon "$box" warning
    xdotool key alt+y
    expect_requests "$m" "AT+QVCMD1=27" "${QUERY[@]}"
    box=$(wait_box note 10)
    expect_icon "$box" information
    ok_box "$box"
    expect_state "SpeedDial1=" "A2dpMixPercent=50" "GpsMixPercent=70" "GpsVoiceSharing=1"
    cmp -s "$STATE" "$WORK/defaults.state" || fail "stored state differs from the defaults:
$(diff "$WORK/defaults.state" "$STATE")"
}

# The firmware file typed into the file dialog, the upgrade over the loopback DFU device, the
# headset back with version 1.03 and read again.
upgrade_firmware() {
    local m box
    # Off the relay first: the port closes, COM5 leads to the simulator's own line again.
    click 584 96 # Close COM Port
    relay_stop
    m=$(mark)
    open_port COM5
    expect_requests "$m" "${QUERY[@]}"
    qv_choose_firmware "$WID" "$WORK/KX-V5_v103.dfu" || fail "the file dialog did not open or close"
    shot file-chosen
    m=$(mark)
    page_click 112 172
    qv_wait 90 eval 'qv_window "$(qv_caption note)" >/dev/null || qv_window "$(qv_caption error)" >/dev/null' ||
        fail "the upgrade did not end within 90 s"
    qv_window "$(qv_caption error)" >/dev/null && fail "the upgrade ended with an error box"
    box=$(qv_window "$(qv_caption note)")
    shot upgrade-complete
    expect_icon "$box" information
    ok_box "$box"
    qv_wait 30 grep -qx "DFU new firmware: QuorVane KX-V5 V1.03" "$LOG" || fail "the image did not reach the device"
    qv_wait 30 grep -qx "DFU back, firmware version 103" "$LOG" || fail "the headset did not come back with 1.03"
    expect_requests "$m" "AT+QVCMD1=20" "${QUERY[@]}"
    grep -qxF -- '-> +QVSTS1=8,103\r\n' "$LOG" || fail "the new version was not read"
    expect_state "FirmwareVersion=103"
    version_label "$WORK/version-after.png"
    local differ
    differ=$(compare -metric AE "$WORK/version-before.png" "$WORK/version-after.png" null: 2>&1 || true)
    [ "${differ%% *}" != 0 ] || fail "the firmware-version label did not change"
    shot upgraded
}

# The headset stays silent to request 8: no request follows it, Exit is refused while the
# answer is awaited ("Note"), and after one second the time-out box ("Error") shows.
silent_headset() {
    local m refusal timeout
    click 584 96 # Close COM Port
    printf 'silent\nonly-code=8\n' >"$CONTROL"
    m=$(mark)
    open_port COM5
    # Exit at once, queued behind Open: a reply (to 7 or 8) is awaited when it is handled,
    # well before the one-second time-out.
    click 728 508
    refusal=$(wait_box note 5)
    expect_icon "$refusal" warning # before the time-out box may cover it
    shot close-refused
    qv_wait 5 request_count_at_least "$m" 2 || fail "request 8 was not sent"
    qv_wait 5 eval 'qv_window "$(qv_caption error)" >/dev/null' || fail "no time-out box"
    timeout=$(qv_window "$(qv_caption error)")
    shot timeout
    expect_icon "$timeout" warning
    : >"$CONTROL"
    [ "$(requests_since "$m")" = "$(printf '%s\n' "${QUERY[@]:0:2}")" ] ||
        fail "requests while 8 was unanswered: $(requests_since "$m" | tr '\n' ' ')"
    program_running || fail "the program ended although closing was refused"
    ok_box "$timeout"
    ok_box "$refusal"
    exit_program
}

# The Chinese window: captions, the prompt "注意", the headset read.
chinese() {
    export LC_ALL=zh_TW.UTF-8
    start_program
    local m
    m=$(mark)
    open_port COM5
    expect_requests "$m" "${QUERY[@]}"
    shot zh_TW-connected
    exit_program
}

scenario "open COM5 and read the headset" open_and_read
scenario "save speed dial, A2DP share, GPS share and sharing" save_settings
scenario "restore default settings" restore_defaults
scenario "firmware upgrade and reconnection" upgrade_firmware
scenario "silent headset: close refused, reply time-out" silent_headset
scenario "Traditional Chinese window" chinese
echo "end-to-end suite passed in $((SECONDS - suite_start)) s; screenshots in $SHOTS"

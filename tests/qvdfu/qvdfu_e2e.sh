#!/usr/bin/env bash
# qvdfu end to end against simulated headsets: qv-headset-sim on ptys linked as COM7 and COM8,
# each serving its DFU device on its own loopback TCP port. Natively, or the Windows build
# under Wine (the ports mapped in the Wine prefix). Each scenario is one ctest test.
#   qvdfu_e2e.sh SCENARIO WORK QVDFU [SIMULATOR QVDFUFILE]
# QVDFU is the native program or qvdfu.exe (then run under Wine, with the native simulator and
# qvdfufile built when they are not given).
set -euo pipefail
SCENARIO=$1
WORK=$2
QVDFU=$3
QV_HEADSET_SIM=${4:-${QV_HEADSET_SIM:-}}
QV_DFUFILE=${5:-${QV_DFUFILE:-}}
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "$0")/../.." && pwd)}
WINE=no
[[ $QVDFU == *.exe ]] && WINE=yes

fail() {
    echo "FAIL [$SCENARIO]: $*" >&2
    for f in "$WORK"/out "$WORK"/err "$WORK"/*.log; do
        [ -f "$f" ] && { echo "--- $f" >&2; tail -n 25 "$f" >&2; }
    done
    exit 1
}

rm -rf "$WORK"
mkdir -p "$WORK/com" "$WORK/config"
# shellcheck source=tools/wine-lib.sh
. "$QV_ROOT/tools/wine-lib.sh"  # the waits and free ports; under Wine the native tools too
if [ $WINE = yes ]; then
    qv_native_tools || fail "cannot build the simulator and qvdfufile"
    qv_wine_prefix_ready
    qv_pty_preload "$WORK" || fail "cannot build the pty preload library"
    export LD_PRELOAD=$QV_PTY_PRELOAD
fi
export QV_COM_DIR=$WORK/com XDG_CONFIG_HOME=$WORK/config
# The simulator's ptys are no USB devices: the ports are named as the headset's.
export QV_HEADSET_PORTS="COM7;COM8"
unset QV_DFU_LOOPBACK

declare -A SIM_PID SIM_PORT
cleanup() {
    local name
    for name in "${!SIM_PID[@]}"; do kill "${SIM_PID[$name]}" 2>/dev/null || true; done
    for name in "${!SIM_PID[@]}"; do wait "${SIM_PID[$name]}" 2>/dev/null || true; done
}
trap cleanup EXIT

# Under Wine, COMn leads through a fixed link in the prefix to this run's COM link folder; the
# wineserver is restarted only when the prefix's mapping had to change.
map_wine_port() {
    local com=$1 lower=${1,,} front=$WINEPREFIX/qvdfu-ports/${1,,}
    mkdir -p "$WINEPREFIX/qvdfu-ports" "$WINEPREFIX/dosdevices"
    ln -sfn "$WORK/com/$lower" "$front"
    ln -sfn "$front" "$WINEPREFIX/dosdevices/$lower"
    local mapped
    mapped=$(wine reg query 'HKLM\Software\Wine\Ports' /v "$com" 2>/dev/null | tr -d '\r' |
        awk -v c="$com" '$1 == c {print $3}' || true)
    if [ "$mapped" != "$front" ]; then
        wine reg add 'HKLM\Software\Wine\Ports' /v "$com" /d "$front" /f >/dev/null 2>&1
        RESTART_WINE=yes
    fi
}
if [ $WINE = yes ]; then
    RESTART_WINE=no
    map_wine_port COM7
    map_wine_port COM8
    [ $RESTART_WINE = yes ] && { wineserver -k 2>/dev/null || true; }
fi

loopback_list() {
    local name list=""
    for name in "${!SIM_PORT[@]}"; do list+="${list:+;}127.0.0.1:${SIM_PORT[$name]}"; done
    export QV_DFU_LOOPBACK=$list
}

# sim_start NAME COMn [simulator options]: the headset NAME on COMn, log WORK/NAME.log.
sim_start() {
    local name=$1 com=$2 port
    shift 2
    port=$(qv_free_port) || fail "no free loopback port"
    local up=READY
    [[ " $* " == *" --start-in-dfu "* ]] && up="DFU 127.0.0.1:"
    rm -f "$WORK/$name.log"
    "$QV_HEADSET_SIM" --com "$com" --com-dir "$WORK/com" --dfu-port "$port" \
        --state "$WORK/$name.state" --dfu-pace fast "$@" >"$WORK/$name.log" 2>&1 &
    SIM_PID[$name]=$!
    SIM_PORT[$name]=$port
    qv_wait 5 grep -qs "$up" "$WORK/$name.log" || fail "the simulator $name did not start"
    loopback_list
}

sim_stop() {
    kill "${SIM_PID[$1]}" 2>/dev/null || true
    wait "${SIM_PID[$1]}" 2>/dev/null || true
    unset "SIM_PID[$1]" "SIM_PORT[$1]"
    loopback_list
}

# A path as the program takes it: Windows paths through Wine's Z: drive.
file_arg() {
    if [ $WINE = yes ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi
}

run_qvdfu() {
    if [ $WINE = yes ]; then wine "$QVDFU" "$@"; else "$QVDFU" "$@"; fi
}

# In the background, as a process of its own, so that a signal reaches the program itself
# (with Ctrl+C not ignored, as the shell would have it for a background job); its PID in PID.
spawn_qvdfu() {
    if [ $WINE = yes ]; then
        (exec env --default-signal=INT wine "$QVDFU" "$@") &
    else
        (exec env --default-signal=INT "$QVDFU" "$@") &
    fi
    PID=$!
}

# Ctrl+C for the program spawned last, then its end: its exit code in RC. Under Wine the
# program runs as a process of its own, beside the launcher spawn_qvdfu started, whose command
# line begins with the program's path: a Windows path under 64-bit Wine ("Z:\...\qvdfu.exe"),
# the Unix path it was started by under 32-bit Wine ("/.../qvdfu.exe").
readonly QVDFU_PROCESS='^([A-Z]:\\|/)[^ ]*qvdfu\.exe( |$)'
interrupt_qvdfu() {
    local target=$PID
    if [ $WINE = yes ]; then
        qv_wait 10 pgrep -f "$QVDFU_PROCESS" >/dev/null || fail "no qvdfu.exe process"
        target=$(pgrep -f "$QVDFU_PROCESS" | head -n 1)
    fi
    kill -INT "$target"
    set +e
    wait "$PID"
    RC=$?
    set -e
    tr -d '\r' <"$WORK/err" >"$WORK/err.tmp" && mv "$WORK/err.tmp" "$WORK/err"
}

# q ARGS...: runs qvdfu; its output in WORK/out and WORK/err, its exit code in RC.
q() {
    set +e
    run_qvdfu "$@" >"$WORK/out" 2>"$WORK/err" </dev/null
    RC=$?
    set -e
    tr -d '\r' <"$WORK/out" >"$WORK/out.tmp" && mv "$WORK/out.tmp" "$WORK/out"
    tr -d '\r' <"$WORK/err" >"$WORK/err.tmp" && mv "$WORK/err.tmp" "$WORK/err"
}

expect_rc() { [ "$RC" -eq "$1" ] || fail "exit code $RC, not $1 (qvdfu ${*:2})"; }
expect_err() { grep -qF -- "$1" "$WORK/err" || fail "standard error lacks: $1"; }
expect_out() { grep -qF -- "$1" "$WORK/out" || fail "standard output lacks: $1"; }

# Every line of standard output is a JSON object with an "event"; prints the result events.
json_results() {
    jq -e -c 'if (type == "object" and has("event")) then . else error("no event") end' \
        "$WORK/out" >/dev/null || fail "standard output is not one JSON object per line"
    jq -c 'select(.event == "result")' "$WORK/out"
}

# The requests a simulator answered, in order ("AT+QVCMD1=20" ...). (A grep that stops at its
# first match would end such a pipe early: with pipefail that reads as a failure.)
requests() { sed -n 's/^<- //p' "$WORK/$1.log"; }

make_firmware() { # NAME VENDOR PRODUCT COMMENT
    "$QV_DFUFILE" pack -i "$WORK/image.bin" -o "$WORK/$1" -v "$2" -p "$3" -r 0103 -c "$4" \
        >/dev/null
}
head -c 65536 /dev/urandom >"$WORK/image.bin"
make_firmware KX-V5_v103.dfu 1209 4B58 "QuorVane KX-V5 V1.03"
GOOD=$(file_arg "$WORK/KX-V5_v103.dfu")

# ---- Scenarios

# One headset upgraded and checked with info; the JSON output parsed: every line an event,
# percent rising within each step, the result carrying the version as text.
upgrade_one() {
    sim_start h7 COM7
    q upgrade "$GOOD" --port COM7 --yes --json --log "$(file_arg "$WORK/support.log")"
    expect_rc 0 upgrade
    # The support log: each request and reply, and the engine's events, with timestamps.
    local stamp='^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} '
    tr -d '\r' <"$WORK/support.log" >"$WORK/support.txt"
    for line in '\[COM7\] -> AT\+QVCMD1=20$' '\[COM7\] <- \+QVSTS1=20$' \
        '\[COM7 engine\] activity download_progress / download_processing$' \
        '\[COM7 engine\] complete success at manifest_retry_runtime / transport_established$' \
        '\[COM7\] <- \+QVSTS1=8,103$'; do
        grep -Eq "$stamp$line" "$WORK/support.txt" || fail "the log lacks $line"
    done
    [ "$(json_results)" = '{"event":"result","result":"success","code":0,"version":"1.03","port":"COM7"}' ] ||
        fail "result event: $(json_results)"
    jq -e -s '[.[] | select(.event == "step") | .step] == ["waiting","reconfigure","download","verify","manifest","restart"]' \
        "$WORK/out" >/dev/null || fail "steps: $(jq -c 'select(.event=="step")' "$WORK/out")"
    jq -e -s 'reduce (.[] | select(.event == "step" or .event == "progress")) as $e
            ({ok: true, last: -1}; if $e.event == "step" then .last = (if $e.step == "verify" then .last else -1 end)
             else {ok: (.ok and $e.percent > .last and $e.percent <= 100), last: $e.percent} end) | .ok' \
        "$WORK/out" >/dev/null || fail "percent does not rise within a step"
    requests h7 | grep -x 'AT+QVCMD1=20' >/dev/null || fail "code 20 was not sent"
    q info --port COM7 --json
    expect_rc 0 info
    jq -e -s 'map(select(.event == "info"))[0] | .version == "1.03" and .port == "COM7"
           and .name == "KX-V5" and .speed_dials == ["","",""] and .a2dp == 50 and .gps == 70
           and .sharing == 1' \
        "$WORK/out" >/dev/null || fail "info event: $(cat "$WORK/out")"
}

# The cable pulled mid-download: the headset is left in DFU mode; list shows it, and recover
# (taking the window's remembered firmware file) finishes the job.
cut_off_then_recover() {
    sim_start h7 COM7 --dfu-fault vanish-after=20
    q upgrade "$GOOD" --port COM7 --yes
    expect_rc 4 upgrade
    expect_err "COM7: the download failed in download_progress / download_processing: fail_usb_none"
    expect_err "qvdfu recover"
    qv_wait 10 grep -q "plugged in again" "$WORK/h7.log" || fail "the headset was not plugged in again"
    q list
    expect_rc 0 list
    expect_out "DFU   loopback:127.0.0.1:${SIM_PORT[h7]}"
    remember_firmware "$GOOD"
    q recover --yes
    expect_rc 0 recover
    expect_out "The firmware file the window used last: $GOOD"
    expect_out "COM7: the headset is back with firmware 1.03"
    q info --port COM7
    expect_out "Firmware:       1.03"
}

# The window's settings file, as the window writes it.
remember_firmware() {
    local folder=$WORK/config/QVBFU
    if [ $WINE = yes ]; then
        folder=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming 2>/dev/null | grep -v /Public/ | head -n 1)/QVBFU
        SAVED_INI=$folder/QVDFUUpgrade.INI
        [ -f "$SAVED_INI" ] && cp "$SAVED_INI" "$WORK/saved.INI"
        trap 'restore_ini; cleanup' EXIT
    fi
    mkdir -p "$folder"
    printf '[Setting]\r\nDFU_FileName=%s\r\n' "$1" >"$folder/QVDFUUpgrade.INI"
}
restore_ini() {
    if [ -f "$WORK/saved.INI" ]; then cp "$WORK/saved.INI" "$SAVED_INI"; else rm -f "$SAVED_INI"; fi
}

# Ctrl+C during the download: exit code 5, no crash, the way on named; recover finishes. The
# download runs at the real pace so that it can be cut off in the middle.
interrupted_then_recover() {
    sim_start h7 COM7 --dfu-pace real
    spawn_qvdfu upgrade "$GOOD" --port COM7 --yes --json >"$WORK/out" 2>"$WORK/err" </dev/null
    qv_wait 20 grep -q '"step":"download","percent":2' "$WORK/out" || fail "the download did not start"
    interrupt_qvdfu
    expect_rc 5 "upgrade, interrupted"
    expect_err "COM7: interrupted during the download: aborted"
    expect_err "qvdfu recover $GOOD finishes the job"
    jq -e -s '[.[] | select(.event == "result")] | .[0].result == "aborted" and .[0].code == 5' \
        "$WORK/out" >/dev/null || fail "no aborted result event"
    q recover "$GOOD" --yes
    expect_rc 0 recover
    expect_out "COM7: the headset is back with firmware 1.03"
}

# A file for another USB device: upgrade refuses it before code 20, recover before a block is
# written (the engine's check of the file against the device ends the reconfigure).
foreign_file() {
    make_firmware KX-V5_foreign.dfu 0483 DF11 "QuorVane KX-V5 V1.03"
    local foreign
    foreign=$(file_arg "$WORK/KX-V5_foreign.dfu")
    sim_start h7 COM7
    q upgrade "$foreign" --port COM7 --yes
    expect_rc 3 upgrade
    expect_err "is for USB device 0483:DF11, the KX-V5 is 1209:4B58: foreign_file"
    requests h7 | grep 'AT+QVCMD1=20' >/dev/null && fail "code 20 was sent for a foreign file"
    sim_stop h7

    sim_start d7 COM7 --start-in-dfu
    q recover "$foreign" --yes --json
    expect_rc 3 recover
    json_results | grep -F '"result":"fail_file_vendor","code":3' >/dev/null || fail "result: $(json_results)"
    jq -e -s '[.[] | select(.event == "step") | .step] == ["reconfigure"]' "$WORK/out" >/dev/null ||
        fail "more than the reconfigure ran: $(jq -c 'select(.event=="step")' "$WORK/out")"
    # Nothing was written: the device still takes the right file from the start.
    q recover "$GOOD" --yes
    expect_rc 0 recover
}

# Two headsets at once: code 20 to one after the other, the downloads side by side.
two_at_once() {
    sim_start h7 COM7 --dfu-pace real
    sim_start h8 COM8 --dfu-pace real
    q upgrade "$GOOD" --all --yes --json
    expect_rc 0 "upgrade --all"
    [ "$(json_results | jq -r '.port + " " + .version' | sort | tr '\n' ' ')" = "COM7 1.03 COM8 1.03 " ] ||
        fail "results: $(json_results)"
    # Side by side: the second download began before the first one ended.
    jq -e -s 'to_entries as $all
        | ($all | map(select(.value.event == "step" and .value.port == "COM8" and .value.step == "download")) | .[0].key) as $start8
        | ($all | map(select(.value.event == "step" and .value.port == "COM7" and .value.step == "manifest")) | .[0].key) as $end7
        | $start8 < $end7' "$WORK/out" >/dev/null || fail "the downloads did not overlap"
    for h in h7 h8; do
        [ "$(requests $h | grep -c 'AT+QVCMD1=20')" -eq 1 ] || fail "$h did not get code 20 once"
    done
}

# Backup, then restore into a headset with other settings: the same settings come back. A
# file with one bad value sends nothing.
backup_restore() {
    sim_start h7 COM7
    printf 'format=1\nspeed_dial_1=+886*12#\nspeed_dial_2=0912345678\nspeed_dial_3=\na2dp_percent=35\ngps_percent=80\nvoice_sharing=0\n' \
        >"$WORK/mine.txt"
    q restore "$(file_arg "$WORK/mine.txt")" --port COM7
    expect_rc 0 restore
    q backup "$(file_arg "$WORK/backup.txt")" --port COM7
    expect_rc 0 backup
    grep -v '^#' "$WORK/backup.txt" | tr -d '\r' | diff - "$WORK/mine.txt" >/dev/null ||
        fail "the backup differs from what was restored: $(cat "$WORK/backup.txt")"
    requests h7 | grep -x 'AT+QVCMD1=25,80,0' >/dev/null || fail "code 25 was not sent as restored"

    sed 's/gps_percent=80/gps_percent=0/' "$WORK/mine.txt" >"$WORK/bad.txt"
    local before
    before=$(requests h7 | wc -l)
    q restore "$(file_arg "$WORK/bad.txt")" --port COM7
    expect_rc 3 restore
    expect_err "line 6: gps_percent=0: a share is a whole percent from 1 to 100: invalid_value"
    [ "$(requests h7 | wc -l)" -eq "$before" ] || fail "a bad file sent requests"
    q info --port COM7 --json
    jq -e -s 'map(select(.event == "info"))[0] | .gps == 80 and .speed_dials[0] == "+886*12#"' "$WORK/out" \
        >/dev/null || fail "the settings changed: $(cat "$WORK/out")"

    # A backup cut off by Ctrl+C leaves no file, not even half of one.
    sim_stop h7
    sim_start h7 COM7 --fault delay=500
    spawn_qvdfu backup "$(file_arg "$WORK/cut.txt")" --port COM7 >"$WORK/out" 2>"$WORK/err" </dev/null
    qv_wait 10 grep -q '^<- AT+QVCMD1=2$' "$WORK/h7.log" || fail "the backup did not start"
    interrupt_qvdfu
    expect_rc 5 "backup, interrupted"
    [ -z "$(ls "$WORK" | grep '^cut\.txt')" ] || fail "an interrupted backup left $(ls "$WORK" | grep cut)"
}

# No device, a busy port, a corrupt file, a question nobody can answer: each its exit code
# and its words.
errors() {
    q list
    expect_rc 2 list
    expect_err "no_headset"
    q upgrade "$GOOD" --port COM9 --yes
    expect_rc 2 "upgrade on a port that is not there"
    expect_err ": no_headset"
    q recover "$GOOD" --yes
    expect_rc 2 "recover without a DFU device"
    expect_err "no DFU device found: no_dfu_device"
    # Two devices waiting in DFU mode and none named: which one is not guessed.
    sim_start d7 COM7 --start-in-dfu
    sim_start d8 COM8 --start-in-dfu
    q recover "$GOOD" --yes
    expect_rc 1 "recover with two DFU devices"
    expect_err "name one with --device: several_devices"
    q recover "$GOOD" --yes --device "loopback:127.0.0.1:${SIM_PORT[d8]}"
    expect_rc 0 "recover of the one named"
    expect_out "COM8: the headset is back with firmware 1.03"
    sim_stop d7
    sim_stop d8

    head -c 1000 "$WORK/KX-V5_v103.dfu" >"$WORK/KX-V5_cut.dfu"
    cp "$WORK/KX-V5_v103.dfu" "$WORK/KX-V5_flip.dfu"
    printf '\xff' | dd of="$WORK/KX-V5_flip.dfu" bs=1 seek=30000 conv=notrunc 2>/dev/null
    local bad
    for bad in KX-V5_cut.dfu KX-V5_flip.dfu; do
        q upgrade "$(file_arg "$WORK/$bad")" --port COM7 --yes
        expect_rc 3 "upgrade $bad"
        expect_err "$bad: bad_file"
    done

    # The port held by another qvdfu, slowed down by the headset's late answers. (Not under
    # Wine, whose serial ports let a second process open a port that one holds.)
    if [ $WINE = no ]; then
        sim_start h7 COM7 --fault delay=700
        spawn_qvdfu info --port COM7 >"$WORK/holder.out" 2>&1 </dev/null
        local holder=$PID
        qv_wait 10 grep -q '^<- AT+QVCMD1=8' "$WORK/h7.log" || fail "the first qvdfu did not open the port"
        q info --port COM7
        expect_rc 6 "info on a busy port"
        expect_err "port_busy"
        wait $holder || fail "the first qvdfu failed: $(cat "$WORK/holder.out")"
        sim_stop h7
    fi

    # Without --yes and without a terminal nothing is asked, and nothing is sent.
    sim_start h7 COM7
    q upgrade "$GOOD" --port COM7
    expect_rc 1 "upgrade without --yes"
    expect_err "pass --yes"
    requests h7 | grep 'AT+QVCMD1=20' >/dev/null && fail "code 20 was sent without an answer"
    # A file named for another model.
    cp "$WORK/KX-V5_v103.dfu" "$WORK/KX-V6_v103.dfu"
    q upgrade "$(file_arg "$WORK/KX-V6_v103.dfu")" --port COM7 --yes
    expect_rc 3 "upgrade with another model's file"
    expect_err "wrong_model"
}

# The DFU side refuses: a stall and an error status, each named; no return after manifest
# leaves the headset in DFU mode, and recover finishes the job.
device_refuses() {
    sim_start h7 COM7 --dfu-fault stall-at=5
    q upgrade "$GOOD" --port COM7 --yes
    expect_rc 4 "upgrade, stall"
    expect_err "fail_dfu_stalledpkt"
    q recover "$GOOD" --yes
    expect_rc 0 "recover after the stall"
    sim_stop h7
    sim_start h7 COM7 --dfu-fault status-error=3@2
    q upgrade "$GOOD" --port COM7 --yes --json
    expect_rc 4 "upgrade, errWRITE"
    json_results | grep -F '"result":"fail_dfu_write","code":4,"port":"COM7","operation":"download_progress"' >/dev/null ||
        fail "result: $(json_results)"
    expect_err "The headset could not write its memory."
}

no_return_then_recover() {
    sim_start h7 COM7 --dfu-fault no-return
    q upgrade "$GOOD" --port COM7 --yes
    expect_rc 4 "upgrade, no return"
    expect_err "the manifest failed in manifest_fail / transport_usb_wait: fail_dfu_firmware"
    q recover "$GOOD" --yes
    expect_rc 0 recover
    expect_out "COM7: the headset is back with firmware 1.03"
}

# A headset whose reset the program may not give (a standard user on Windows): the firmware is
# written and verified, so the upgrade ends well and says to unplug and replug the headset,
# without waiting for its return.
reset_refused_says_replug() {
    sim_start h7 COM7 --dfu-fault reset-refused
    q upgrade "$GOOD" --port COM7 --yes --json
    expect_rc 0 "upgrade, reset refused"
    expect_err "Unplug and replug the headset"
    json_results | grep -F '"result":"success","code":0' | grep -F '"replug":true' >/dev/null ||
        fail "result: $(json_results)"
    # It ended without waiting for the headset's return.
    if jq -e -s 'map(select(.event == "step" and .step == "restart")) | length > 0' \
        "$WORK/out" >/dev/null; then
        fail "it waited for the headset's return: $(jq -c 'select(.event=="step")' "$WORK/out")"
    fi
}

# Only USB ports are asked: COM7 is a USB device in the (fake) sysfs, COM8 is not and never
# hears a request. A port given by its /dev path is asked all the same.
usb_ports_only() {
    unset QV_HEADSET_PORTS
    sim_start h7 COM7
    sim_start h8 COM8
    local sys=$WORK/sys tty dev
    tty=$(sed -n 's/^PTY //p' "$WORK/h7.log")
    dev=$(printf '%d:%d' "0x$(stat -Lc %t "$tty")" "0x$(stat -Lc %T "$tty")")
    mkdir -p "$sys/devices/usb1/1-1/1-1:1.0/tty/ttyACM0" "$sys/dev/char"
    echo 1209 >"$sys/devices/usb1/1-1/idVendor"
    echo 4b58 >"$sys/devices/usb1/1-1/idProduct"
    echo KX-V5 >"$sys/devices/usb1/1-1/product"
    ln -s "$sys/devices/usb1/1-1/1-1:1.0/tty/ttyACM0" "$sys/dev/char/$dev"
    QV_SYSFS_ROOT=$sys q list --json
    expect_rc 0 list
    [ "$(jq -c 'select(.event == "headset") | .port' "$WORK/out")" = '"COM7"' ] ||
        fail "headsets listed: $(cat "$WORK/out")"
    [ -z "$(requests h8)" ] || fail "COM8, no USB device, was asked: $(requests h8)"
    # A port named by its /dev path is asked as it is.
    q info --port "$tty"
    expect_rc 0 "info --port $tty"
    expect_out "Port:           $tty"
}

case $SCENARIO in
    upgrade_one | cut_off_then_recover | interrupted_then_recover | foreign_file | two_at_once | \
        backup_restore | errors | device_refuses | no_return_then_recover | usb_ports_only | \
        reset_refused_says_replug)
        "$SCENARIO"
        ;;
    *) fail "no such scenario" ;;
esac
echo "PASS $SCENARIO"

# shellcheck shell=bash
# Shared pieces of the scripts that run the Windows program under Wine against the simulated
# headset and drive its window from outside with xdotool: the native helpers, the preload
# library for ptys, a sample firmware file, the simulator, and waits, clicks and windows.
# Source it from bash with QV_ROOT set (or from a script in tools/ or tests/).
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# shellcheck source=tests/wine-env.sh
. "$QV_ROOT/tests/wine-env.sh"

# Client area of the main window.
QV_CLIENT_WIDTH=883
QV_CLIENT_HEIGHT=544

# The native simulator and DFU file tool: QV_HEADSET_SIM / QV_DFUFILE when given, else built
# in the native build folder (a no-op when they are up to date).
qv_native_tools() {
    if [ -z "${QV_HEADSET_SIM:-}" ] || [ -z "${QV_DFUFILE:-}" ]; then
        (cd "$QV_ROOT" && cmake --preset native >/dev/null &&
            cmake --build --preset native -j "${QV_JOBS:-2}" --target qv-headset-sim qvdfufile >/dev/null) ||
            return 1
        QV_HEADSET_SIM=$(find "$QV_ROOT/build/native" -type f -name qv-headset-sim | head -n 1)
        QV_DFUFILE=$(find "$QV_ROOT/build/native" -type f -name qvdfufile | head -n 1)
    fi
    [ -x "$QV_HEADSET_SIM" ] && [ -x "$QV_DFUFILE" ]
}

# Wine's serial code asks a tty for its modem lines, which a pty has not: a small preload
# library answers for it. Builds it into DIR for 64-bit and 32-bit Wine processes; the program
# runs with LD_PRELOAD=$QV_PTY_PRELOAD.
qv_pty_preload() {
    QV_PTY_PRELOAD=$("$QV_ROOT/tests/serial/wine/build_preload.sh" "$1")
}

# A firmware file the simulated headset accepts (vendor 1209, product 4B58, version 1.03):
# DIR/KX-V5_v103.dfu.
qv_make_firmware() {
    head -c 262144 /dev/urandom >"$1/image.bin"
    "$QV_DFUFILE" pack -i "$1/image.bin" -o "$1/KX-V5_v103.dfu" -v 1209 -p 4B58 -r 0103 \
        -c "QuorVane KX-V5 V1.03" >/dev/null
}

# A free loopback TCP port for the simulated DFU device, below the system's ephemeral ports
# (32768 and up), which the program's own connections take and would make a busy port.
qv_free_port() {
    local port
    for port in $(shuf -i 20000-32000 -n 20); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null || { echo "$port"; return 0; }
    done
    return 1
}

# Starts the simulated headset as COM5 of the Wine prefix: qv_sim_start DIR DFU_PORT [options].
# Its log is DIR/headset.log, its stored settings DIR/headset.state. Sets QV_SIM_PID. Wine
# opens COM5 through the prefix's dosdevices link; a wineserver started before the mapping
# changed may list no COM5 or have put back a link to an older pty: then it is restarted, and
# the next Wine program reads the new mapping. So is one started here without a display (by
# the simulator's registry entry): the program would later meet its display-less desktop.
qv_sim_start() {
    local dir port=$2
    # The links made below must hold whole paths: a relative one would lead nowhere.
    mkdir -p "$1/com" && dir=$(cd "$1" && pwd) || return 1
    shift 2
    "$QV_HEADSET_SIM" --com COM5 --com-dir "$dir/com" \
        --dfu-port "$port" --state "$dir/headset.state" "$@" >"$dir/headset.log" 2>&1 &
    QV_SIM_PID=$!
    # A simulator that refused to start (its message is in the log) is not waited for.
    qv_wait 5 qv_sim_ready_or_gone "$dir/headset.log" || true
    if ! grep -q READY "$dir/headset.log"; then
        echo "the simulated headset did not start; its log ($dir/headset.log):" >&2
        cat "$dir/headset.log" >&2
        return 1
    fi
    # Wine maps COM5 to a link of ours that always leads to the simulator's current line
    # (DIR/com/com5, which the simulator moves to its new pty when it comes back after an
    # upgrade), or to a relay in front of it: a restarted wineserver that re-creates its
    # dosdevices links from the registry still finds the right line.
    ln -sfn "$dir/com/com5" "$dir/com5-front" || return 1
    local mapped
    # A prefix where COM5 was never mapped has no such value: reg then fails.
    mapped=$(wine reg query 'HKLM\Software\Wine\Ports' /v COM5 2>/dev/null | tr -d '\r' |
        awk '$1 == "COM5" {print $3}' || true)
    if [ "$mapped" != "$dir/com5-front" ]; then
        local said
        if ! said=$(wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /d "$dir/com5-front" /f 2>&1); then
            echo "cannot map COM5 in the Wine prefix $WINEPREFIX ('wine reg add' said: $said)" >&2
            return 1
        fi
    fi
    if ! { mkdir -p "$WINEPREFIX/dosdevices" && ln -sfn "$dir/com5-front" "$WINEPREFIX/dosdevices/com5"; }; then
        echo "cannot link COM5 into $WINEPREFIX/dosdevices" >&2
        return 1
    fi
    if [ -z "${DISPLAY:-}" ] || [ -z "$(qv_com_row COM5)" ] || [ "$mapped" != "$dir/com5-front" ]; then
        wineserver -k 2>/dev/null || true
    fi
    export QV_DFU_LOOPBACK=127.0.0.1:$port
}

# qv_sim_ready_or_gone LOG: the simulator said READY, or it has ended.
qv_sim_ready_or_gone() { grep -q READY "$1" || ! kill -0 "$QV_SIM_PID" 2>/dev/null; }

qv_sim_stop() {
    if [ -n "${QV_SIM_PID:-}" ]; then
        kill "$QV_SIM_PID" 2>/dev/null || true
        wait "$QV_SIM_PID" 2>/dev/null || true
        QV_SIM_PID=""
    fi
}

# qv_wait SECONDS COMMAND...: runs COMMAND every 20 ms until it succeeds; fails after SECONDS.
qv_wait() {
    local end=$((${EPOCHREALTIME/./} + ${1%.*} * 1000000))
    shift
    while :; do
        "$@" && return 0
        [ "${EPOCHREALTIME/./}" -lt "$end" ] || return 1
        sleep 0.02
    done
}

# The caption of the main window in the language of LC_ALL / LANG.
qv_main_title() {
    case "${LC_ALL:-${LANG:-}}" in
        zh_TW*) echo 'KX-V5 設定工具, V1.00' ;;
        *) echo 'KX-V5 Tool Program, V1.00' ;;
    esac
}

# Captions of message boxes: qv_caption note|error.
qv_caption() {
    case "$1:${LC_ALL:-${LANG:-}}" in
        note:zh_TW*) echo '注意' ;;
        error:zh_TW*) echo '錯誤' ;;
        note:*) echo 'Note' ;;
        error:*) echo 'Error' ;;
    esac
}

# The first visible window whose name is exactly NAME (printed), or failure.
qv_window() {
    local wid
    wid=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1) || true
    [ -n "$wid" ] && echo "$wid"
}

# qv_wait_window NAME SECONDS: waits for the window and prints its id.
qv_wait_window() {
    local end=$((${EPOCHREALTIME/./} + $2 * 1000000))
    while :; do
        qv_window "$1" && return 0
        [ "${EPOCHREALTIME/./}" -lt "$end" ] || return 1
        sleep 0.02
    done
}

qv_no_window() { ! qv_window "$1" >/dev/null; }

# Every window on the display with its name, for failure reports.
qv_list_windows() {
    local w
    for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        echo "  $w $(xdotool getwindowname "$w" 2>/dev/null)"
    done
}

# qv_click_client WID X Y: a click at client coordinates of the main window. With Wine's
# virtual desktop the X window includes the frame Wine draws: the client area sits at the
# bottom centre.
qv_click_client() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    local border=$(((WIDTH - QV_CLIENT_WIDTH) / 2))
    local top=$((HEIGHT - QV_CLIENT_HEIGHT - border))
    xdotool mousemove --window "$1" $((border + $2)) $((top + $3)) click 1
}

# qv_press_box_button WID: a click on the one button of a message box (OK, at its bottom
# centre).
qv_press_box_button() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    xdotool mousemove --window "$1" $((WIDTH / 2)) $((HEIGHT - 26)) click 1
}

# qv_choose_firmware WID FILE: on the "Firmware upgrade" page, "Select firmware file..." and
# FILE (a Linux path) typed into the file dialog. Fails when the dialog does not open or close.
qv_choose_firmware() {
    qv_click_client "$1" 422 138 # the page's tab
    qv_click_client "$1" 132 194 # Select firmware file...
    qv_wait_window Open 10 >/dev/null || return 1
    xdotool type --delay 10 "$(winepath -w "$2" 2>/dev/null)"
    xdotool key Return
    qv_wait 10 eval "! qv_window Open >/dev/null"
}

# Row of COMn in the port list: the ports Wine lists, in number order.
qv_com_row() {
    wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' |
        awk '{print $NF}' | grep -E '^COM[0-9]+$' | sed 's/COM//' | sort -n |
        awk -v want="${1#COM}" '$1 == want {print NR - 1}'
}

# shellcheck shell=bash
# Steps of the end-to-end suite: the program under Wine, its window and message boxes, the
# simulated headset's log and stored state. Sourced by e2e.sh after tools/wine-lib.sh; uses
# EXE, WORK (run folder), SHOTS (screenshot folder), LOG (the simulator's log), STATE (its
# stored settings) and CONTROL (its fault switches).

PROGRAM_PID=""
WID=""

fail() {
    echo "FAIL: $*" >&2
    echo "windows on the display:" >&2
    qv_list_windows >&2
    import -window root "$SHOTS/e2e-failure.png" 2>/dev/null && echo "screenshot: $SHOTS/e2e-failure.png" >&2
    echo "--- last lines of the simulated headset's log" >&2
    tail -n 30 "$LOG" >&2
    exit 1
}

shot() {
    import -window root "$SHOTS/e2e-$1.png" || fail "no screenshot $1"
    echo "  screenshot $SHOTS/e2e-$1.png"
}

program_running() { [ -n "$PROGRAM_PID" ] && kill -0 "$PROGRAM_PID" 2>/dev/null; }

# Starts the program in the language of LC_ALL and answers its start-up prompt ("Note").
start_program() {
    local out=$WORK/program-$(lang_tag).log
    (cd "$(dirname "$EXE")" && LD_PRELOAD=$QV_PTY_PRELOAD exec wine ./QVDFUUpgrade.exe) >"$out" 2>&1 &
    PROGRAM_PID=$!
    WID=$(qv_wait_window "$(qv_main_title)" 60) || fail "main window '$(qv_main_title)' did not appear"
    local prompt
    prompt=$(qv_wait_window "$(qv_caption note)" 10) || fail "no start-up prompt"
    shot "prompt-$(lang_tag)"
    expect_icon "$prompt" information
    ok_box "$prompt"
}

# Ends the program with its Exit button; it must end by itself within 10 s.
exit_program() {
    click 728 508
    qv_wait 10 eval '! program_running' || fail "the program did not end after Exit"
    wait "$PROGRAM_PID" || fail "the program ended with status $?"
    PROGRAM_PID=""
}

kill_program() {
    if program_running; then
        kill "$PROGRAM_PID" 2>/dev/null || true
        wait "$PROGRAM_PID" 2>/dev/null || true
    fi
    PROGRAM_PID=""
}

# Clicks at client coordinates of the main window; page_click at coordinates of a page of the
# page control (its client area starts at 20,150 of the window).
click() { qv_click_client "$WID" "$1" "$2"; }
page_click() { click $((20 + $1)) $((150 + $2)); }

# The tabs of the page control, English captions.
tab() {
    case "$1" in
        speed-dial) click 75 138 ;;
        a2dp) click 190 138 ;;
        gps) click 308 138 ;;
        firmware) click 422 138 ;;
    esac
}

# Presses the one button of a message box (OK, at its bottom centre) and waits until it is gone.
# The box is raised first: one that another box covered stays behind the main window when
# that box closes.
ok_box() {
    xdotool windowraise "$1"
    qv_press_box_button "$1"
    qv_wait 5 eval "! xdotool search --onlyvisible --name . 2>/dev/null | grep -qx '$1'" ||
        fail "message box $1 did not close"
}

# The icon of a message box by its colours: the warning triangle is orange, the information
# sign blue, the error sign red (a 40 x 40 cut at the icon's place, measured under Wine).
box_icon() {
    local cut=$WORK/icon.png share
    import -window "$1" -crop 40x40+10+24 +repage "$cut" || return 1
    share() { convert "$cut" -fx "$1" -format '%[fx:mean > 0.1 ? 1 : 0]' info:; }
    if [ "$(share 'r>0.8 && g>0.35 && g<0.8 && b<0.35')" = 1 ]; then
        echo warning
    elif [ "$(share 'b>0.5 && r<0.4')" = 1 ]; then
        echo information
    elif [ "$(share 'r>0.7 && g<0.3 && b<0.3')" = 1 ]; then
        echo error
    else
        echo none
    fi
}

# expect_icon WID warning|information|error: polled, a box just mapped may not be drawn yet.
expect_icon() {
    local icon=""
    icon_is() { icon=$(box_icon "$1") && [ "$icon" = "$2" ]; }
    qv_wait 3 icon_is "$1" "$2" || fail "message box $1 shows the ${icon:-no} icon, not the $2 icon"
}

# wait_box note|error SECONDS: prints the message box's window id.
wait_box() {
    qv_wait_window "$(qv_caption "$1")" "$2" || fail "no message box '$(qv_caption "$1")' within $2 s"
}

# A mark in the simulator's log; requests_since MARK prints the requests received after it.
mark() { wc -l <"$LOG"; }
requests_since() { tail -n +$(($1 + 1)) "$LOG" | sed -n 's/^<- //p'; }
request_count_at_least() { [ "$(requests_since "$1" | wc -l)" -ge "$2" ]; }

# The simulator's log shows request lines without their terminator. For the bytes themselves
# COM5 can lead through a relay (socat) that writes everything the program sends to
# $WORK/sent.bin; expect_requests then also compares those bytes, "\r" terminators included.
RELAY_PID=""
relay_start() {
    : >"$WORK/sent.bin"
    : >"$WORK/expected.bin"
    rm -f "$WORK/relay-tty"
    socat -r "$WORK/sent.bin" PTY,link="$WORK/relay-tty",rawer,wait-slave \
        OPEN:"$(readlink "$WORK/com/com5")",rawer,noctty >"$WORK/relay.log" 2>&1 &
    RELAY_PID=$!
    qv_wait 5 test -e "$WORK/relay-tty" || fail "the relay did not start"
    ln -sfn "$(readlink -f "$WORK/relay-tty")" "$WORK/com5-front"
}
# Back to the simulator's own line (with the port closed).
relay_stop() {
    if [ -n "$RELAY_PID" ]; then
        kill "$RELAY_PID" 2>/dev/null || true
        wait "$RELAY_PID" 2>/dev/null || true
        RELAY_PID=""
    fi
    ln -sfn "$WORK/com/com5" "$WORK/com5-front"
}

# expect_requests MARK REQUEST...: exactly these request lines, in this order, arrive after
# MARK (within 10 s; nothing more follows for 300 ms); through the relay, byte for byte.
expect_requests() {
    local from=$1
    shift
    qv_wait 10 request_count_at_least "$from" $# ||
        fail "expected requests: $*; received: $(requests_since "$from" | tr '\n' ' ')"
    sleep 0.3
    local want got
    want=$(printf '%s\n' "$@")
    got=$(requests_since "$from")
    [ "$got" = "$want" ] || fail "requests differ; expected:
$want
received:
$got"
    if [ -n "$RELAY_PID" ]; then
        printf '%s\r' "$@" >>"$WORK/expected.bin"
        qv_wait 5 cmp -s "$WORK/sent.bin" "$WORK/expected.bin" || fail "bytes sent differ; expected:
$(od -c "$WORK/expected.bin" | tail -n 6)
sent:
$(od -c "$WORK/sent.bin" | tail -n 6)"
    fi
}

# The query sequence after opening the port.
QUERY=("AT+QVCMD1=7" "AT+QVCMD1=8" "AT+QVCMD1=9" "AT+QVCMD1=10" "AT+QVCMD1=1"
    "AT+QVCMD1=2" "AT+QVCMD1=3" "AT+QVCMD1=4" "AT+QVCMD1=5")

state_has() { grep -qxF "$1" "$STATE"; }
expect_state() {
    local line
    for line in "$@"; do
        qv_wait 5 state_has "$line" || fail "stored state lacks '$line':
$(cat "$STATE")"
    done
}

# Selects COMn in the port list and presses Open.
open_port() {
    local row
    row=$(qv_com_row "$1")
    [ -n "$row" ] || fail "$1 is not listed"
    click 200 $((24 + 13 * row)) # inside the row with either language's font
    click 584 32
}

# The firmware-version label (client 16,512, 217 x 13) cut from a picture of the window.
version_label() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$WID")"
    local border=$(((WIDTH - QV_CLIENT_WIDTH) / 2))
    local top=$((HEIGHT - QV_CLIENT_HEIGHT - border))
    import -window "$WID" -crop "217x13+$((border + 16))+$((top + 512))" +repage "$1"
}

lang_tag() {
    case "${LC_ALL:-}" in zh_TW*) echo zh_TW ;; *) echo en ;; esac
}

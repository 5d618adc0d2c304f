# Sourced by the scripts that run Windows builds under Wine: a private, prepared prefix,
# quiet Wine, no Mono/Gecko install prompts.
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$QV_ROOT/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

# Without a display of its own, a run inside a ctest session of the Windows build uses the
# session's private X server (tests/wine/session.sh).
if [ -z "${DISPLAY:-}" ] && [ -f "$WINEPREFIX/.qv-display" ]; then
    read -r qv_xvfb_pid qv_xvfb_display <"$WINEPREFIX/.qv-display" || true
    if kill -0 "${qv_xvfb_pid:-0}" 2>/dev/null && [ -e "/tmp/.X11-unix/X${qv_xvfb_display#:}" ]; then
        export DISPLAY=$qv_xvfb_display
    fi
fi

# Prepares the prefix once; safe when several test programs start at once on a fresh one.
qv_wine_prefix_ready() {
    [ -f "$WINEPREFIX/.qv-prepared" ] && return 0
    mkdir -p "$WINEPREFIX"
    (
        flock 9
        if [ ! -f "$WINEPREFIX/.qv-prepared" ]; then
            # A new prefix (no Wine server can be serving it yet).
            if [ ! -f "$WINEPREFIX/system.reg" ]; then
                wine wineboot -i >/dev/null 2>&1 || true
                wineserver -w
            fi
            # A virtual desktop gives windows a frame without a window manager and avoids a
            # stall after the first window is shown.
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 || true
            touch "$WINEPREFIX/.qv-prepared"
        fi
    ) 9>"$WINEPREFIX/.qv-lock"
}

# Keeps one wineserver (and its services) up for a series of short Wine runs.
qv_wine_start() {
    qv_wine_prefix_ready
    wineserver -p >/dev/null 2>&1 || true
    wine wineboot >/dev/null 2>&1 || true
}

qv_wine_stop() {
    wineserver -k >/dev/null 2>&1 || true
}

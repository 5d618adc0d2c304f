# Sourced by the scripts that run Windows builds under Wine: a private, prepared prefix,
# quiet Wine, no Mono/Gecko install prompts.
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
# Our own prefix unless the caller names one: only that one is ever made anew.
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$QV_ROOT/build/wine-prefix
    export QV_OWN_PREFIX=1
else
    export WINEPREFIX
    export QV_OWN_PREFIX=${QV_OWN_PREFIX:-0}
fi
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

# The installed Wine packages: a prefix made by other versions (or before the 32-bit half
# was installed, which then fails with "could not load kernel32.dll") is not used again.
qv_wine_fingerprint() {
    dpkg-query -W -f='${Package}:${Architecture}=${Version}\n' wine wine64 'wine32:i386' 2>/dev/null | sort
}

# Prepares the prefix once per set of Wine packages; safe when several test programs start at
# once on a fresh one. One win64 prefix serves the x86_64 and the i686 build (32-bit programs
# run through WoW64). The marker .qv-prepared holds the packages it was prepared with.
qv_wine_prefix_ready() {
    local fingerprint
    fingerprint=$(qv_wine_fingerprint)
    [ "$(cat "$WINEPREFIX/.qv-prepared" 2>/dev/null)" = "$fingerprint" ] && return 0
    mkdir -p "$(dirname "$WINEPREFIX")"
    # The lock lies beside the prefix: the prefix itself may be made anew while it is held.
    (
        flock 9
        local prepared
        prepared=$(cat "$WINEPREFIX/.qv-prepared" 2>/dev/null || true)
        [ "$prepared" = "$fingerprint" ] && exit 0
        if [ -f "$WINEPREFIX/system.reg" ]; then
            if [ "$QV_OWN_PREFIX" = 1 ]; then
                echo "Wine packages changed since $WINEPREFIX was made: making it anew" >&2
                wineserver -k >/dev/null 2>&1 || true
                rm -rf "$WINEPREFIX"
            elif [ -n "$prepared" ]; then
                echo "warning: $WINEPREFIX was made by other Wine packages; if Wine fails, remove it" >&2
            fi
        fi
        mkdir -p "$WINEPREFIX"
        # A new prefix (no Wine server can be serving it yet).
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            wine wineboot -i >/dev/null 2>&1 || true
            wineserver -w
        fi
        # A virtual desktop gives windows a frame without a window manager and avoids a
        # stall after the first window is shown.
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 || true
        printf '%s\n' "$fingerprint" >"$WINEPREFIX/.qv-prepared"
    ) 9>"$WINEPREFIX.lock"
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

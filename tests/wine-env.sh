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

# The installed Wine packages: a prefix made by other versions (or before the 32-bit half
# was installed, which then fails with "could not load kernel32.dll") is not used again.
qv_wine_fingerprint() {
    dpkg-query -W -f='${Package}:${Architecture}=${Version}\n' wine wine64 'wine32:i386' 2>/dev/null | sort
}

# One win64 prefix serves the x86_64 and the i686 build (32-bit programs run through WoW64).
qv_wine_prefix_ready() {
    local fingerprint stamp=$WINEPREFIX/.qv-wine-packages
    fingerprint=$(qv_wine_fingerprint)
    if [ -f "$WINEPREFIX/system.reg" ] && [ "$(cat "$stamp" 2>/dev/null)" != "$fingerprint" ]; then
        if [ "$QV_OWN_PREFIX" = 1 ]; then
            echo "Wine packages changed since $WINEPREFIX was made: making it anew" >&2
            wineserver -k >/dev/null 2>&1 || true
            rm -rf "$WINEPREFIX"
        elif [ ! -f "$stamp" ]; then
            printf '%s\n' "$fingerprint" >"$stamp"
        else
            echo "warning: $WINEPREFIX was made by other Wine packages; if Wine fails, remove it" >&2
        fi
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        # A virtual desktop gives windows a frame without a window manager and avoids a
        # stall after the first window is shown.
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 || true
        wineserver -w
        printf '%s\n' "$fingerprint" >"$stamp"
    fi
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

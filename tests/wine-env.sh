# Sourced by the scripts that run Windows builds under Wine: a private, prepared prefix,
# quiet Wine, no Mono/Gecko install prompts.
QV_ROOT=${QV_ROOT:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$QV_ROOT/build/wine-prefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

qv_wine_prefix_ready() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wine wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        # A virtual desktop gives windows a frame without a window manager and avoids a
        # stall after the first window is shown.
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1 || true
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1 || true
        wineserver -w
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

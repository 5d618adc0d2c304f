#!/bin/sh
# The program started where no window can be made (no display for this process): it must end
# by itself with exit code 1, not crash on the way out.
#   no_display.sh <QVDFUUpgrade.exe>
# The Wine desktop started for this run has no display either, and windows of programs started
# beside it or after it could not be made: the run gets a Wine server of its own, and the one
# with the display is started again afterwards.
set -u
exe=$1
. "$QV_ROOT/tests/wine-env.sh"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
qv_wine_stop
wineserver -w 2>/dev/null
env -u DISPLAY timeout 60 wine "$exe" >"$out" 2>&1
status=$?
qv_wine_stop
wineserver -w 2>/dev/null
qv_wine_start
if grep -q 'Unhandled' "$out"; then
    echo "the program crashed:" >&2
    grep -v winediag "$out" >&2
    exit 1
fi
[ "$status" -eq 1 ] || {
    echo "exit code $status, expected 1" >&2
    exit 1
}
echo "ended with exit code 1 and no crash"

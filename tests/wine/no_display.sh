#!/bin/sh
# The program started where no window can be made (no display for this process): it must end
# by itself with exit code 1, not crash on the way out.
#   no_display.sh <QVDFUUpgrade.exe>
set -u
exe=$1
. "$QV_ROOT/tests/wine-env.sh"
out=$(mktemp)
trap 'rm -f "$out"' EXIT
env -u DISPLAY timeout 60 wine "$exe" >"$out" 2>&1
status=$?
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

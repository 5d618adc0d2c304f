#!/usr/bin/env bash
# Checks the labels of every test of a build: exactly one subsystem label (the name of its folder
# under tests/, "app" for tests/wine) and at least one kind label (unit, pty, wine, e2e).
#   tests/check_labels.sh <build folder>
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
build=$1
subsystems=$(
    for dir in "$ROOT"/tests/*/; do
        [ -f "$dir/CMakeLists.txt" ] && basename "$dir"
    done | sed 's/^wine$/app/' | sort -u | jq -R . | jq -cs .
)
listing=$(ctest --test-dir "$build" -N --show-only=json-v1)
bad=$(jq -r --argjson subsystems "$subsystems" '
    .tests[]
    | ([.properties[]? | select(.name == "LABELS") | .value[]]) as $labels
    | ([$labels[] | select(. as $l | $subsystems | index($l))] | length) as $subsystemCount
    | ([$labels[] | select(IN("unit", "pty", "wine", "e2e"))] | length) as $kindCount
    | select($subsystemCount != 1 or $kindCount == 0)
    | "\(.name): labels \($labels | join(","))"' <<<"$listing")
count=$(jq '.tests | length' <<<"$listing")
if [ -n "$bad" ]; then
    echo "tests without exactly one subsystem label ($subsystems) or without a kind label:" >&2
    echo "$bad" >&2
    exit 1
fi
[ "$count" -gt 0 ] || { echo "no tests listed in $build" >&2; exit 1; }
echo "labels of $count tests checked"

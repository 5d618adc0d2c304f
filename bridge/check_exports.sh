#!/bin/sh
# Checks that a shared library exports exactly the expected names, undecorated.
# Usage: check_exports.sh <tool> <library> <names>
# <tool> is an objdump for a DLL or nm for an ELF shared object; <names> is a .def file (the
# names after EXPORTS) or a list of one name a line.
set -eu
objdump=$1 dll=$2 names=$3
tmp=${TMPDIR:-/tmp}/dfubridge-exports.$$
trap 'rm -f "$tmp".want "$tmp".have' EXIT

if grep -q '^EXPORTS' "$names"; then
    sed '1,/^EXPORTS/d' "$names"
else
    cat "$names"
fi | awk 'NF { print $1 }' | sort >"$tmp".want
case $(basename "$objdump") in
*nm)
    # Defined dynamic symbols: "address type name".
    "$objdump" -D --defined-only "$dll" | awk 'NF == 3 { print $3 }' | sort >"$tmp".have
    ;;
*)
    # The name pointer table lists one "[ordinal] name" line per exported name.
    "$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        sed -n 's/^[[:space:]]*\[[[:space:]]*[0-9]*\][[:space:]]*//p' | sort >"$tmp".have
    ;;
esac

if ! cmp -s "$tmp".want "$tmp".have; then
    echo "$dll: exports differ from $names (< expected, > exported)" >&2
    diff "$tmp".want "$tmp".have >&2 || true
    exit 1
fi
echo "$dll: exactly $(wc -l <"$tmp".want) exports as in $(basename "$names")"

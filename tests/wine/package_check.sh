#!/bin/sh
# Packs the release zip into a folder of its own and checks it: exactly the program, the
# console tool, the two DLLs and the user guide under one top folder; the binaries built for the
# architecture; each binary's version record carrying the project's version.
#   package_check.sh <cpack> <CPackConfig.cmake> <out folder> <package name> <windres> <objdump>
#                    <i686|x86_64> <version>
set -eu
cpack=$1 config=$2 out=$3 name=$4 windres=$5 objdump=$6 arch=$7 version=$8
rm -rf "$out"
mkdir -p "$out"
"$cpack" --config "$config" -B "$out" >"$out/cpack.log" 2>&1 || {
    cat "$out/cpack.log" >&2
    exit 1
}
zip=$out/$name.zip
[ -f "$zip" ] || { echo "no $zip" >&2; ls "$out" >&2; exit 1; }

listed=$(unzip -Z1 "$zip" | grep -v '/$' | sort)
expected=$(for f in DFUEngine.dll DfuBridge.dll QVDFUUpgrade.exe qvdfu.exe user-guide.md; do echo "$name/$f"; done | sort)
if [ "$listed" != "$expected" ]; then
    printf 'zip holds:\n%s\nexpected:\n%s\n' "$listed" "$expected" >&2
    exit 1
fi

mkdir -p "$out/unpacked"
unzip -q "$zip" -d "$out/unpacked"
case $arch in
    i686) format=pei-i386 ;;
    *) format=pei-x86-64 ;;
esac
status=0
for f in QVDFUUpgrade.exe qvdfu.exe DfuBridge.dll DFUEngine.dll; do
    file=$out/unpacked/$name/$f
    "$objdump" -f "$file" | grep -q "file format $format" || {
        echo "$f is not $format" >&2
        status=1
    }
    record=$("$windres" -i "$file" -O rc 2>/dev/null | tr -d '\r')
    numbers=$(echo "$version" | awk -F. '{printf "%d, %d, %d, 0", $1, $2, $3}')
    echo "$record" | grep -q "FILEVERSION $numbers" || {
        echo "$f: no FILEVERSION $numbers" >&2
        status=1
    }
    echo "$record" | grep -q "VALUE \"FileVersion\", \"$version.0\"" || {
        echo "$f: no FileVersion \"$version.0\"" >&2
        status=1
    }
    echo "$record" | grep -q "VALUE \"OriginalFilename\", \"$f\"" || {
        echo "$f: its version record names another file" >&2
        status=1
    }
done
[ "$status" -eq 0 ] && echo "$zip: 5 files, $format, version $version"
exit $status

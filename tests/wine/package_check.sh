#!/usr/bin/env bash
# Packs the release zip into a folder of its own (twice) and checks it: exactly the program,
# the console tool qvdfu, the two DLLs and the user guide (Markdown and HTML) under one top
# folder; the binaries built for the architecture; each binary's version record carrying the
# project's version; the program's icon group with its four sizes; the checksum file beside
# the zip; and the same zip from a second packing of the same build.
#   package_check.sh <build folder> <out folder> <package name> <windres> <objdump>
#                    <i686|x86_64> <version> <source folder>
# (Here-strings, not echo into grep -q: grep stops at the first match, and echo's SIGPIPE
# would fail the pipeline.)
set -euo pipefail
build=$1 out=$2 name=$3 windres=$4 objdump=$5 arch=$6 version=$7 source=$8
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out/first" "$out/second"
# The check is of the unsigned zip: a certificate in the environment is not used here.
pack() {
    env -u QV_SIGN_PKCS12 -u QV_SIGN_PASSWORD \
        bash "$here/../../cmake/release_zip.sh" "$build" "$1" "$name" "$source" >"$1/pack.log" 2>&1 || {
        cat "$1/pack.log" >&2
        exit 1
    }
}
pack "$out/first"
zip=$out/first/$name.zip
[ -f "$zip" ] || { echo "no $zip" >&2; exit 1; }
grep -q "NOT signed" "$out/first/pack.log" || { echo "an unsigned pack does not say so" >&2; exit 1; }

listed=$(unzip -Z1 "$zip" | sort)
expected=$(for f in DFUEngine.dll DfuBridge.dll QVDFUUpgrade.exe qvdfu.exe user-guide.html user-guide.md; do
    echo "$name/$f"
done | sort)
if [ "$listed" != "$expected" ]; then
    printf 'zip holds:\n%s\nexpected:\n%s\n' "$listed" "$expected" >&2
    exit 1
fi

status=0
(cd "$out/first" && sha256sum --quiet -c "$name.zip.sha256") || {
    echo "$name.zip.sha256 does not match the zip" >&2
    status=1
}
pack "$out/second"
cmp -s "$zip" "$out/second/$name.zip" || {
    echo "two packings of one build differ" >&2
    status=1
}

mkdir -p "$out/unpacked"
unzip -q "$zip" -d "$out/unpacked"
case $arch in
    i686) format=pei-i386 ;;
    *) format=pei-x86-64 ;;
esac
for f in QVDFUUpgrade.exe qvdfu.exe DfuBridge.dll DFUEngine.dll; do
    file=$out/unpacked/$name/$f
    "$objdump" -f "$file" | grep -q "file format $format" || {
        echo "$f is not $format" >&2
        status=1
    }
    record=$("$windres" -i "$file" -O rc 2>/dev/null | tr -d '\r')
    numbers=$(echo "$version" | awk -F. '{printf "%d, %d, %d, 0", $1, $2, $3}')
    grep -q "FILEVERSION $numbers" <<<"$record" || {
        echo "$f: no FILEVERSION $numbers" >&2
        status=1
    }
    grep -q "VALUE \"FileVersion\", \"$version.0\"" <<<"$record" || {
        echo "$f: no FileVersion \"$version.0\"" >&2
        status=1
    }
    grep -q "VALUE \"OriginalFilename\", \"$f\"" <<<"$record" || {
        echo "$f: its version record names another file" >&2
        status=1
    }
    # Each language the record lists (pairs of language and code page) has its own block of
    # texts, which carries the version and the file name too.
    # shellcheck disable=SC2046
    set -- $(echo "$record" | sed -n 's/.*VALUE "Translation", //p' | tr -d ',')
    [ $# -ge 2 ] || {
        echo "$f: its version record lists no language" >&2
        status=1
    }
    while [ $# -ge 2 ]; do
        block=$(printf '%04X%04X' "$1" "$2")
        texts=$(awk -v b="BLOCK \"$block\"" 'index($0, b) {on = 1; next} on && /END/ {exit} on' <<<"$record")
        case $texts in
            *"VALUE \"FileVersion\", \"$version.0\""*"VALUE \"OriginalFilename\", \"$f\""*) ;;
            *)
                echo "$f: language $block is listed but has no block of texts with its version" >&2
                status=1
                ;;
        esac
        shift 2
    done
done

# The icon group 1 and its four images (16, 32, 48, 256 pixels).
resources=$("$windres" -i "$out/unpacked/$name/QVDFUUpgrade.exe" -O rc 2>/dev/null | tr -d '\r')
icons=$(echo "$resources" | grep -c 'RT_ICON \*/' || true)
grep -q '^1 14 /\* RT_GROUP_ICON \*/' <<<"$resources" && [ "$icons" -eq 4 ] || {
    echo "QVDFUUpgrade.exe: no icon group 1 with four images (found $icons images)" >&2
    status=1
}
grep -q '<title>KX-V5 Tool: user guide</title>' "$out/unpacked/$name/user-guide.html" &&
    grep -q '<table>' "$out/unpacked/$name/user-guide.html" || {
    echo "user-guide.html is not the guide as a web page" >&2
    status=1
}
[ "$status" -eq 0 ] && echo "$zip: $(echo "$listed" | wc -l) files, $format, version $version, icon, checksum, reproducible"
exit $status

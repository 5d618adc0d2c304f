#!/usr/bin/env bash
# Makes a release zip of a Windows build: installs the release component into a staging
# folder, signs the staged copies of the binaries when a certificate is given, packs them with
# fixed timestamps in a fixed order, and writes the zip's checksum beside it.
#
#   release_zip.sh <build folder> <out folder> <package name> <source folder>
#
# Out: <out folder>/<package name>.zip (one top folder <package name>/) and
# <package name>.zip.sha256 in sha256sum's format.
#
# Signing (Authenticode, osslsigncode): QV_SIGN_PKCS12 names a PKCS#12 file with the
# certificate and its key, QV_SIGN_PASSWORD its password. Without them the binaries stay
# unsigned and this says so.
#
# Reproducible: file times are SOURCE_DATE_EPOCH when set, else the time of the source's last
# commit; files go in in byte order of their names and the zip carries no extra fields, so two
# unsigned builds of one commit give the same zip. (A signature holds its signing time.)
set -euo pipefail
build=$1 out=$2 name=$3 source=$4

stage=$out/stage
rm -rf "$stage" "$out/$name.zip" "$out/$name.zip.sha256"
mkdir -p "$stage"
cmake --install "$build" --component release --prefix "$stage/$name" >"$out/install.log" || {
    cat "$out/install.log" >&2
    exit 1
}

binaries=()
while IFS= read -r -d '' f; do binaries+=("$f"); done < <(find "$stage/$name" -type f \( -name '*.exe' -o -name '*.dll' \) -print0 | LC_ALL=C sort -z)
if [ -n "${QV_SIGN_PKCS12:-}" ]; then
    [ -r "$QV_SIGN_PKCS12" ] || { echo "release_zip.sh: cannot read QV_SIGN_PKCS12=$QV_SIGN_PKCS12" >&2; exit 1; }
    command -v osslsigncode >/dev/null || { echo "release_zip.sh: osslsigncode is missing; run tools/install-deps.sh" >&2; exit 1; }
    for f in "${binaries[@]}"; do
        osslsigncode sign -pkcs12 "$QV_SIGN_PKCS12" -pass "${QV_SIGN_PASSWORD:-}" -h sha256 \
            -n "KX-V5 Tool" -in "$f" -out "$f.signed" >"$out/sign.log" 2>&1 || {
            cat "$out/sign.log" >&2
            echo "release_zip.sh: signing $(basename "$f") failed" >&2
            exit 1
        }
        mv "$f.signed" "$f"
    done
    echo "signed ${#binaries[@]} binaries with $QV_SIGN_PKCS12"
else
    echo "note: the binaries are NOT signed (set QV_SIGN_PKCS12 and QV_SIGN_PASSWORD to sign them)"
fi

epoch=${SOURCE_DATE_EPOCH:-$(git -C "$source" log -1 --format=%ct 2>/dev/null || echo 1767225600)}
find "$stage/$name" -exec touch -h -d "@$epoch" {} +
command -v zip >/dev/null || { echo "release_zip.sh: zip is missing; run tools/install-deps.sh" >&2; exit 1; }
# -X: no extra fields (they would carry access times), -D: no folder entries; zip keeps times
# in local time, so UTC makes them the same everywhere.
(cd "$stage" && find "$name" -type f | LC_ALL=C sort | TZ=UTC zip -X -D -q "../$name.zip" -@)
(cd "$out" && sha256sum "$name.zip" >"$name.zip.sha256")
echo "$out/$name.zip"
cat "$out/$name.zip.sha256"

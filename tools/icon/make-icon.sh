#!/usr/bin/env bash
# Draws the program's icon, a headset with a microphone boom, with ImageMagick and writes
# app/QVDFUUpgrade.ico with the sizes 16, 32, 48 (bitmaps) and 256 pixels (PNG), the sizes
# Windows shows in title bars, the task bar, Explorer's lists and its large views.
#   tools/icon/make-icon.sh
# The .ico is kept in the repository so that builds need no image tools; run this again after
# changing the drawing and commit both.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One drawing on a 256-pixel grid, scaled to each size; the small sizes get thicker lines so
# that the shape still reads at 16 pixels.
draw() {
    local size=$1 boost=$2 out=$3
    local f band boom cup cushions=()
    f=$(awk -v s="$size" 'BEGIN { printf "%.5f", s / 256 }')
    # Half widths of the headband and the boom, and the cups' outline width.
    band=$(awk -v b="$boost" 'BEGIN { printf "%.1f", 11 * b }')
    boom=$(awk -v b="$boost" 'BEGIN { printf "%.1f", 5 * b }')
    cup=$(awk -v b="$boost" 'BEGIN { printf "%d", 6 * b }')
    # The cushions' highlight only where it has the pixels to show.
    if [ "$size" -ge 32 ]; then
        cushions=(-draw "scale $f,$f fill #7fb6e6 stroke none
               roundrectangle 62,136 76,202 6,6 roundrectangle 180,136 194,202 6,6")
    fi
    # Lines are drawn as filled outlines: this ImageMagick closes stroked open paths.
    convert -size "${size}x${size}" xc:none \
        -draw "scale $f,$f fill #2b3440 stroke none
               path '$(arc_band 128 152 76 96 "$band")'" \
        -draw "scale $f,$f fill #2b3440 stroke none
               path '$(boom_band "$boom")'" \
        -draw "scale $f,$f fill #1f6fb2 stroke #16507f stroke-width $cup
               roundrectangle 26,124 82,214 20,20 roundrectangle 174,124 230,214 20,20" \
        "${cushions[@]}" \
        -draw "scale $f,$f fill #e0492f stroke #a8321d stroke-width $cup circle 126,234 126,220" \
        "PNG32:$out"
}

# The upper half of an ellipse (centre, radii) as a band of half width W: outer arc, inner arc
# back, closed.
arc_band() {
    awk -v cx="$1" -v cy="$2" -v rx="$3" -v ry="$4" -v w="$5" 'BEGIN {
        printf "M %.1f,%.1f A %.1f,%.1f 0 0 1 %.1f,%.1f ", cx - rx - w, cy, rx + w, ry + w, cx + rx + w, cy
        printf "L %.1f,%.1f A %.1f,%.1f 0 0 0 %.1f,%.1f Z", cx + rx - w, cy, rx - w, ry - w, cx - rx + w, cy
    }'
}

# The microphone boom from the left cup to the microphone, as a band of half width W.
boom_band() {
    awk -v w="$1" 'BEGIN {
        printf "M %.1f,200 Q %.1f,%.1f 120,%.1f ", 54 - w, 62 - w, 240 + w, 234 + w
        printf "L 120,%.1f Q %.1f,%.1f %.1f,200 Z", 234 - w, 62 + w, 240 - w, 54 + w
    }'
}

draw 256 1 "$work/256.png"
draw 48 1.4 "$work/48.png"
draw 32 1.7 "$work/32.png"
draw 16 2.2 "$work/16.png"
# Bitmaps for the small sizes (every Windows version reads them), PNG for 256.
convert "$work/16.png" "$work/32.png" "$work/48.png" "$work/256.png" \
    -define icon:format=bmp,bmp,bmp,png "$ROOT/app/QVDFUUpgrade.ico"
identify "$ROOT/app/QVDFUUpgrade.ico"

#!/usr/bin/env bash
# Writes PloxWen's icon as ploxwen.ico: one 37 x 33 image in 256 colours (8-bit
# palette, 1-bit transparency mask), drawn from the rectangles of
# platform/app_icon.h, which the Linux window module paints too. Run from
# anywhere after changing them; needs ImageMagick.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
design="$here/../app_icon.h"
out="${1:-$here/ploxwen.ico}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

size=$(sed -n 's/^constexpr int kWidth = \([0-9]*\), kHeight = \([0-9]*\);$/\1x\2/p' "$design")
draw=()
while read -r x0 y0 x1 y1 rgb; do
  draw+=(-fill "#$rgb" -draw "rectangle $x0,$y0 $x1,$y1")
done < <(sed -n 's/^ *{\([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\), 0x\([0-9A-F]\{6\}\)},.*/\1 \2 \3 \4 \5/p' "$design")
[[ -n $size && ${#draw[@]} -gt 0 ]] || { echo "make_icon.sh: no icon in $design" >&2; exit 1; }

# Sharp pixels, as the module paints them; transparent where no rectangle is.
convert -size "$size" xc:none +antialias -stroke none "${draw[@]}" "$tmp/art.png"
# ImageMagick stores as few bits a pixel as the palette needs: a palette of the
# design's colours, filler greys and transparency keeps it at 8 (256 colours).
convert "$tmp/art.png" -alpha off -unique-colors -size 240x1 gradient:'#101010'-'#f0f0f0' +append \
  -alpha set -size 1x1 xc:none +append +repage "$tmp/palette.png"
convert "$tmp/art.png" +dither -remap "$tmp/palette.png" -define icon:format=bmp "$out"
identify "$out"

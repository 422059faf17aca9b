#!/usr/bin/env bash
# Draws PloxWen's icon -- a receipt printer with a slip of paper coming out --
# and writes it as ploxwen.ico: one 37 x 33 image in 256 colours (8-bit
# palette, 1-bit transparency mask). Run from anywhere; needs ImageMagick.
set -euo pipefail
out="${1:-$(dirname "$0")/ploxwen.ico}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

convert -size 37x33 xc:none \
  -fill '#3b4a5a' -stroke '#1d2630' -strokewidth 1 -draw 'roundrectangle 2,12 34,28 3,3' \
  -fill '#5d7186' -stroke none -draw 'rectangle 4,14 32,18' \
  -fill '#1d2630' -draw 'rectangle 8,12 28,13' \
  -fill '#ffffff' -stroke '#9aa5b1' -strokewidth 1 -draw 'polygon 10,1 26,1 26,12 10,12' \
  -stroke '#2b6cb0' -draw 'line 13,4 23,4' -draw 'line 13,6 21,6' -draw 'line 13,8 23,8' \
  -stroke none -fill '#38a169' -draw 'circle 29,23 30,24' \
  -fill '#f6ad55' -draw 'rectangle 6,22 19,25' \
  -fill '#1d2630' -draw 'rectangle 6,30 10,31' -draw 'rectangle 26,30 30,31' \
  "$tmp/art.png"

# 8-bit palette image with a binary alpha, which ICO keeps as its AND mask.
convert "$tmp/art.png" -channel A -threshold 50% +channel \
  -colors 256 -type PaletteAlpha -define icon:format=bmp "$out"
identify "$out"

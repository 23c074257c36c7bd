#!/usr/bin/env bash
# Draws Orvanta's icon and packs it as res/Orvanta.ico: 16, 24, 32 and 48 pixels at 4, 8 and
# 32 bits per pixel, and a 256-pixel image stored as PNG. The picture is a rounded teal tile with
# three data bits travelling along a line into an arrow: a file leaving on a serial line.
# ImageMagick's output is not byte-for-byte reproducible, so the .ico is kept in the repository;
# run this only to change the artwork. Needs imagemagick and icoutils (scripts/setup.sh).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Debian's own binary: a convert earlier on PATH may be something else.
im=convert
for candidate in convert-im6.q16 convert-im6; do
  if command -v "$candidate" >/dev/null; then im=$candidate; break; fi
done

# The master drawing, 256 x 256 with transparent corners.
"$im" -size 256x256 xc:none \
  -fill '#14657d' -stroke '#0a3442' -strokewidth 8 -draw 'roundrectangle 12,12 243,243 44,44' \
  -stroke none -fill '#ffffff' -draw 'rectangle 36,150 164,174' \
  -draw 'polygon 158,104 224,162 158,220' \
  -fill '#f6b93b' -draw 'rectangle 40,72 72,104' -draw 'rectangle 136,72 168,104' \
  -fill none -stroke '#f6b93b' -strokewidth 8 -draw 'rectangle 92,76 116,100' \
  "PNG32:$work/master.png"

images=()
for size in 16 24 32 48; do
  "$im" "$work/master.png" -filter Lanczos -resize "${size}x${size}" "PNG32:$work/$size-32.png"
  # Palette images keep one transparent colour; icotool turns it into the icon's mask.
  "$im" "$work/$size-32.png" -channel A -threshold 50% +channel +dither -colors 200 \
    "PNG8:$work/$size-8.png"
  "$im" "$work/$size-32.png" -channel A -threshold 50% +channel +dither -colors 15 \
    "PNG8:$work/$size-4.png"
  images+=("$work/$size-4.png" "$work/$size-8.png" "$work/$size-32.png")
done

icotool -c -o "$here/Orvanta.ico" "${images[@]}" -r "$work/master.png"
icotool -l "$here/Orvanta.ico"

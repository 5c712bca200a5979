#!/usr/bin/env bash
# Draws the saver's own pictures into data/pack/ as TGA files, with
# ImageMagick 6 and the DejaVu fonts. A developer's tool: the generated files
# are committed, and the build needs neither this script nor ImageMagick.
# After a change, run tools/make-pack.sh to rebuild data/zarnish.vellumry.
set -euo pipefail
cd "$(dirname "$0")/.."
out=data/pack
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

bold=DejaVu-Sans-Bold
book=DejaVu-Sans
warm="gradient:#fff2b0-#ff7a10"   # light yellow at the top to flame orange

# Text in a warm gradient with a soft dark rim, on a transparent ground, so
# that it reads over any picture. Arguments: width height font size text out.
lettering() {
  local w=$1 h=$2 font=$3 size=$4 text=$5 dest=$6
  convert -size "${w}x${h}" xc:none -font "$font" -pointsize "$size" -gravity center \
    -fill white -annotate +0+0 "$text" "$work/mask.png"
  convert -size "${w}x${h}" "$warm" "$work/mask.png" -compose CopyOpacity -composite \
    "$work/fill.png"
  convert "$work/mask.png" -alpha extract -morphology Dilate Disk:2 -blur 0x1 \
    "$work/rim-alpha.png"
  convert -size "${w}x${h}" xc:'#1a0800' "$work/rim-alpha.png" -alpha off \
    -compose CopyOpacity -composite -channel A -evaluate multiply 0.85 +channel \
    "$work/rim.png"
  convert "$work/rim.png" "$work/fill.png" -compose Over -composite "$dest"
}

# Writes a picture as a 32-bit TGA (RLE when asked), bottom row first, with
# no ID field and no colour map. ImageMagick writes its rows in memory order,
# top first, whatever origin it flags, so the picture is flipped first.
tga32() {
  local src=$1 dest=$2 compress=$3
  convert "$src" -flip +set comment -strip -type TrueColorAlpha -compress "$compress" \
    -orient BottomLeft "$dest"
}

# Entry 0: a small flame on black, 24 bits; its alpha comes from brightness.
convert -size 64x64 xc:black \
  -fill '#ff5a00' -draw "path 'M 32,4 C 44,22 54,34 50,48 C 47,58 40,62 32,62 C 24,62 17,58 14,48 C 10,34 22,24 32,4 Z'" \
  -fill '#ffc040' -draw "path 'M 32,24 C 39,34 44,42 42,50 C 40,57 36,59 32,59 C 28,59 24,57 22,50 C 20,42 26,34 32,24 Z'" \
  -fill '#fff6d0' -draw "ellipse 32,52 5,6 0,360" \
  -blur 0x1.2 "$work/flame.png"
convert "$work/flame.png" -flip +set comment -strip -alpha off -type TrueColor -compress RLE \
  -orient BottomLeft "$out/flame.tga"

# Entry 1: the banner's corner picture, the product's name.
lettering 256 32 "$bold" 24 "Kindora" "$work/corner.png"
tga32 "$work/corner.png" "$out/corner.tga" RLE

# Entries 2 and 3: the intro pictures.
lettering 256 64 "$bold" 48 "Kindora" "$work/intro1.png"
tga32 "$work/intro1.png" "$out/intro-title.tga" None
lettering 256 128 "$book" 22 $'Every picture\nburns in time' "$work/intro2.png"
tga32 "$work/intro2.png" "$out/intro-line.tga" RLE

# Entries 4 and 5: the messages of the banner and the caption.
lettering 512 32 "$bold" 20 "Move the mouse to put out the fire" "$work/message1.png"
tga32 "$work/message1.png" "$out/message-mouse.tga" RLE
lettering 512 32 "$bold" 20 "Kindora: a fire screen saver for Linux" "$work/message2.png"
tga32 "$work/message2.png" "$out/message-name.tga" None

echo "pictures written to $out"

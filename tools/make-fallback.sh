#!/usr/bin/env bash
# Draws data/fallback.jpg, the picture shown when no desktop picture can be
# found or loaded: a warm evening over layered hills, 1920 x 1080. Needs
# ImageMagick 6, but only to change the art: the JPEG is committed and the
# build never runs this script. Everything is computed (no random numbers),
# so the same ImageMagick gives the same file.
set -euo pipefail
cd "$(dirname "$0")/.."
out=data/fallback.jpg
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
W=1920
H=1080

# Sky: deep violet overhead, rose in the middle, amber at the horizon.
convert -size ${W}x560 gradient:'#2a1846-#c8566c' "$work/upper.png"
convert -size ${W}x520 gradient:'#c8566c-#ffb868' "$work/lower.png"
convert "$work/upper.png" "$work/lower.png" -append "$work/sky.png"

# The sun low over the hills, with a soft glow around it.
convert -size ${W}x${H} xc:none -fill '#ffd98a' -draw "circle 1250,690 1250,560" \
  -blur 0x90 "$work/glow.png"
convert -size ${W}x${H} xc:none -fill '#fff1c8' -draw "circle 1250,690 1250,590" \
  -blur 0x2 "$work/sun.png"

# One ridge line: a polygon from sums of sines. Arguments: base height, two
# amplitudes, two wave lengths, two phases.
ridge() {
  awk -v w=$W -v h=$H -v base="$1" -v a1="$2" -v a2="$3" -v l1="$4" -v l2="$5" \
      -v p1="$6" -v p2="$7" 'BEGIN {
    pi = 3.14159265358979
    printf "polygon 0,%d", h
    for (x = 0; x <= w; x += 8) {
      y = base + a1 * sin(2 * pi * x / l1 + p1) + a2 * sin(2 * pi * x / l2 + p2)
      printf " %d,%.1f", x, y
    }
    printf " %d,%d", w, h
  }'
}

convert "$work/sky.png" \
  "$work/glow.png" -compose Screen -composite \
  "$work/sun.png" -compose Over -composite \
  -fill '#b4506eb0' -draw "$(ridge 745 38 16 1300 410 0.6 2.1)" \
  -fill '#86345e' -draw "$(ridge 815 46 20 1700 530 2.4 0.3)" \
  -fill '#5a2050' -draw "$(ridge 900 52 22 2100 620 4.0 1.2)" \
  -fill '#2e1034' -draw "$(ridge 985 40 18 2600 700 1.1 5.0)" \
  -blur 0x0.8 -strip -sampling-factor 4:2:0 -quality 88 "$out"
echo "wrote $out ($(stat -c %s "$out") bytes)"

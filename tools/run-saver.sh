#!/usr/bin/env bash
# Starts the saver built in build/: full screen on every monitor of the
# user's display (move the mouse or press a key to end it). Without a
# display it runs the same binary on a private Xvfb with two monitors for
# 20 s and writes screenshots into frames/.
set -euo pipefail
cd "$(dirname "$0")/.."
saver=build/apps/kindora
[ -x "$saver" ] || { echo "run-saver: build the saver first (cmake --build build)" >&2; exit 1; }

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$saver" "$@"
fi

echo "run-saver: no display; burning a made-up desktop on a private Xvfb for 20 s" >&2
mkdir -p frames
log=$(mktemp)
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 2560x720x24 3>"$log" 2>/dev/null &
xvfb=$!
config=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null; rm -rf "$log" "$config"' EXIT
for _ in $(seq 100); do [ -s "$log" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$log")"
xrandr --setmonitor '*LEFT' 1280/340x720/190+0+0 screen >/dev/null
xrandr --setmonitor RIGHT 1280/340x720/190+1280+0 none >/dev/null

# A desktop to burn: a wallpaper on each monitor and a window or two.
desktop="$config/desktop.png"
convert -size 1280x720 gradient:'#1d4e89'-'#7fb7be' \
  -fill '#f4f1de' -draw 'roundrectangle 140,110 760,520 12,12' \
  -fill '#3d405b' -draw 'rectangle 140,110 760,150' \
  -fill '#e07a5f' -draw 'circle 1050,200 1120,200' "$config/left.png"
convert -size 1280x720 gradient:'#f2cc8f'-'#e07a5f' \
  -fill '#f4f1de' -draw 'roundrectangle 420,200 1100,640 12,12' \
  -fill '#3d405b' -draw 'rectangle 420,200 1100,240' "$config/right.png"
convert "$config/left.png" "$config/right.png" +append "$desktop"
display -window root "$desktop" &
painter=$!
sleep 1

XDG_CONFIG_HOME="$config" "$saver" "$@" &
saver_pid=$!
for t in 2 5 10 15 20; do
  sleep $((t - ${last:-0}))
  last=$t
  xwd -root -silent | convert xwd:- "frames/screen-$(printf %02d $t)s.png"
  echo "frames/screen-$(printf %02d $t)s.png"
done
kill -TERM $saver_pid
wait $saver_pid
kill $painter 2>/dev/null || true

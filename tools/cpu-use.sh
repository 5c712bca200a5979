#!/usr/bin/env bash
# What a running saver costs the machine: CPU seconds per second of the saver
# and of the X server, for kindora --window-id and for XScreenSaver's
# glslideshow (one textured quad at a time) on the same 1920x1080 window of
# one Xvfb, taken in turn.
#
#   tools/cpu-use.sh [SECONDS] [ROUNDS]   each hack SECONDS (15), ROUNDS (1) times
#
# The first 3 seconds of each run (start-up, the capture) are not counted.
# Stock hacks refuse to run as root, so as root both hacks run as the user
# $CPU_USE_USER (kuser, or nobody where there is no kuser) with a home of
# their own. The kindora measured is $KINDORA (build/apps/kindora); it runs
# twice, the second time with KINDORA_SWAP_BUFFERS=1 (every frame drawn
# whole and swapped, as on a double buffer that cannot be copied from).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
rounds=${2:-1}
kindora=$(realpath -m "${KINDORA:-build/apps/kindora}")
slideshow=/usr/libexec/xscreensaver/glslideshow
out=out/cpu-use
mkdir -p "$out" build/tools
[ -x "$kindora" ] || { echo "cpu-use: no $kindora: build it first" >&2; exit 1; }
[ -x "$slideshow" ] || { echo "cpu-use: no $slideshow (package xscreensaver-gl)" >&2; exit 1; }
cc -O2 -Wall -Wextra -Werror -o build/tools/soak-window tools/soak_window.c -lX11

as_user=()
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
if [ "$(id -u)" = 0 ]; then
    user=${CPU_USE_USER:-$(id -u kuser >/dev/null 2>&1 && echo kuser || echo nobody)}
    chmod 777 "$home"
    # setpriv execs the hack itself, so the pid measured is the hack's.
    as_user=(setpriv --reuid="$user" --regid="$(id -g "$user")" --init-groups --)
fi

# utime + stime + the waited-for children's, in clock ticks.
ticks() {
    awk '{sub(/.*\) /, ""); print $12 + $13 + $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0
}

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
export DISPLAY=$display
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
# Something to capture and show: the fixed picture on the root.
display -window root -resize 1920x1080! data/fallback.jpg 2>/dev/null || xsetroot -solid '#705030'
build/tools/soak-window 1920x1080 >"$out/window.id" &
holder=$!
trap 'kill $holder $xvfb 2>/dev/null || true; rm -rf "$home"' EXIT
for _ in $(seq 50); do [ -s "$out/window.id" ] && break; sleep 0.1; done
wid=$(cat "$out/window.id")
hz=$(getconf CLK_TCK)

# Runs one hack on the window and prints its CPU and the server's per second.
measure() {
    local name=$1
    shift
    env HOME="$home" XDG_CONFIG_HOME="$home/.config" DISPLAY="$display" "${as_user[@]}" "$@" \
        >"$out/$name.out" 2>"$out/$name.err" &
    local pid=$!
    sleep 3
    local hack0 x0 t0 hack1 x1 t1
    hack0=$(ticks "$pid") x0=$(ticks "$xvfb") t0=$(date +%s.%N)
    sleep "$seconds"
    hack1=$(ticks "$pid") x1=$(ticks "$xvfb") t1=$(date +%s.%N)
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    awk -v n="$name" -v h="$((hack1 - hack0))" -v x="$((x1 - x0))" -v a="$t0" -v b="$t1" \
        -v hz="$hz" 'BEGIN {w = b - a; printf "%-12s hack %.3f  X server %.3f  total %.3f CPU s/s\n",
                     n, h / hz / w, x / hz / w, (h + x) / hz / w}'
}

echo "CPU seconds per second over $seconds s on a 1920x1080 Xvfb window ($(nproc) cores)"
for _ in $(seq "$rounds"); do
    measure kindora "$kindora" --window-id "$wid"
    # The same with every frame drawn whole and swapped, for comparison.
    measure kindora-swap env KINDORA_SWAP_BUFFERS=1 "$kindora" --window-id "$wid"
    measure glslideshow "$slideshow" -window-id "$wid"
done

#!/usr/bin/env bash
# Long runs that show the saver neither grows nor drifts.
#
#   tools/soak.sh sim RES STYLE [STEPS]   kindora-sim for STEPS burn steps (5000000)
#   tools/soak.sh twice RES STYLE [STEPS] the same run twice: the reports must match
#   tools/soak.sh leak [STEPS]            every resolution and style on a sanitizer
#                                         build (build-san), LeakSanitizer on (20000)
#   tools/soak.sh window [SECONDS]        kindora --window-id under Xvfb (600)
#
# Resident memory (VmRSS) is sampled every few seconds; the first sample after
# a warm-up and the last one must lie within 1 MiB of each other. The builds
# are build/ (release) and build-san/ (sanitizers); the reports and samples go
# to out/soak/. Exit status: 0 when every check held.
set -euo pipefail
cd "$(dirname "$0")/.."
out=out/soak
mkdir -p "$out"
warmup=${SOAK_WARMUP:-10}   # seconds before the first sample that counts (start-up on a busy machine)
interval=${SOAK_INTERVAL:-2}
limit_kib=1024

rss_kib() {
    awk '/^VmRSS:/ {print $2}' "/proc/$1/status" 2>/dev/null || true
}

# Samples the resident memory of process $1 into file $2 until it ends; the
# first line is taken once the warm-up is over.
sample_rss() {
    local pid=$1 log=$2 start=$SECONDS
    : >"$log"
    sleep "$warmup"
    while kill -0 "$pid" 2>/dev/null; do
        local kib
        kib=$(rss_kib "$pid")
        [ -n "$kib" ] && echo "$((SECONDS - start)) $kib" >>"$log"
        sleep "$interval"
    done
}

# Says whether the first and last samples of $1 agree within the limit.
check_rss() {
    local log=$1 label=$2
    if [ ! -s "$log" ]; then
        echo "$label: no memory samples (the run ended within the warm-up)"
        return 0
    fi
    local first last
    first=$(head -n1 "$log" | cut -d' ' -f2)
    last=$(tail -n1 "$log" | cut -d' ' -f2)
    local growth=$((last - first))
    echo "$label: VmRSS ${first} KiB after warm-up, ${last} KiB at the end ($(wc -l <"$log") samples, growth ${growth} KiB)"
    [ "$growth" -le "$limit_kib" ] || { echo "$label: FAIL: memory grew by more than 1 MiB"; return 1; }
}

run_sim() {
    local res=$1 style=$2 steps=$3 tag=$4
    local name="sim-res$res-style$style-$steps$tag"
    local t0=$SECONDS
    build/apps/kindora-sim --fire-res "$res" --burn-style "$style" --steps "$steps" \
        >"$out/$name.report" 2>"$out/$name.err" &
    local pid=$!
    sample_rss "$pid" "$out/$name.rss" &
    local sampler=$!
    local status=0
    wait "$pid" || status=$?
    wait "$sampler" || true
    echo "$name: exit $status, $((SECONDS - t0)) s, report $(sha256sum <"$out/$name.report" | cut -c1-16)"
    [ "$status" -eq 0 ] || return 1
    check_rss "$out/$name.rss" "$name"
}

sim() {
    [ -x build/apps/kindora-sim ] || cmake --build build -j2 --target kindora-sim
    run_sim "$1" "$2" "${3:-5000000}" ""
}

twice() {
    local res=$1 style=$2 steps=${3:-5000000}
    [ -x build/apps/kindora-sim ] || cmake --build build -j2 --target kindora-sim
    run_sim "$res" "$style" "$steps" "-a" && run_sim "$res" "$style" "$steps" "-b" || return 1
    local base="$out/sim-res$res-style$style-$steps"
    if cmp -s "$base-a.report" "$base-b.report"; then
        echo "the reports of the two runs are identical"
    else
        echo "FAIL: the reports of the two runs differ"
        return 1
    fi
}

leak() {
    local steps=${1:-20000} status=0
    if [ ! -x build-san/apps/kindora-sim ]; then
        cmake -S . -B build-san -DKINDORA_SANITIZE=ON -DKINDORA_BENCH=OFF \
            -DCMAKE_BUILD_TYPE=Debug >/dev/null
        cmake --build build-san -j2 --target kindora-sim
    fi
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
    export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
    for res in 0 1 2; do
        for style in 0 1 2 3; do
            local log="$out/leak-res$res-style$style.err"
            if build-san/apps/kindora-sim --fire-res "$res" --burn-style "$style" \
                --steps "$steps" >/dev/null 2>"$log" && [ ! -s "$log" ]; then
                echo "leak check res $res style $style, $steps steps: clean"
            else
                echo "leak check res $res style $style: FAIL (see $log)"
                status=1
            fi
        done
    done
    return $status
}

window() {
    local seconds=${1:-600}
    [ -x build/apps/kindora ] || cmake --build build -j2 --target kindora
    [ -x build/tools/soak-window ] || build_window_tool
    local display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 1280x720x24 -nolisten tcp >"$out/xvfb.log" 2>&1 &
    local xvfb=$!
    trap 'kill $xvfb 2>/dev/null || true' RETURN
    export DISPLAY=$display
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    # A plain window of our own for the saver to draw into; the helper keeps it
    # mapped and prints its id.
    build/tools/soak-window >"$out/window.id" &
    local holder=$!
    for _ in $(seq 50); do [ -s "$out/window.id" ] && break; sleep 0.1; done
    local wid
    wid=$(cat "$out/window.id")
    local t0=$SECONDS
    build/apps/kindora --window-id "$wid" >"$out/window.out" 2>"$out/window.err" &
    local saver=$!
    sleep "$warmup"
    local first_rss first_x
    first_rss=$(rss_kib "$saver")
    first_x=$(x_resources)
    : >"$out/window.rss"
    while [ $((SECONDS - t0)) -lt "$seconds" ] && kill -0 "$saver" 2>/dev/null; do
        echo "$((SECONDS - t0)) $(rss_kib "$saver") $(x_resources)" >>"$out/window.rss"
        sleep 10
    done
    local last_rss last_x status=0
    last_rss=$(rss_kib "$saver")
    last_x=$(x_resources)
    kill -TERM "$saver" 2>/dev/null || status=1
    wait "$saver" || status=$?
    kill "$holder" 2>/dev/null || true
    wait "$holder" 2>/dev/null || true
    echo "window: $((SECONDS - t0)) s, exit $status after SIGTERM"
    echo "window: VmRSS $first_rss KiB after warm-up, $last_rss KiB at the end"
    echo "window: X resources after warm-up: $first_x"
    echo "window: X resources at the end:    $last_x"
    [ "$status" -eq 0 ] || { echo "window: FAIL: the saver did not exit cleanly"; return 1; }
    [ $((last_rss - first_rss)) -le "$limit_kib" ] || { echo "window: FAIL: memory grew"; return 1; }
    [ "$first_x" = "$last_x" ] || { echo "window: FAIL: X resources grew"; return 1; }
}

# The X-Resource counts summed over the server's clients but xrestop itself:
# the window holder's are fixed, so any growth is the saver's.
x_resources() {
    command -v xrestop >/dev/null || { echo "(xrestop missing)"; return; }
    xrestop -b -m 1 2>/dev/null | awk -F: '
        /^[0-9]+ - / {skip = ($0 ~ / - xrestop /); next}
        !skip {gsub(/[ \t~]/, "", $1); gsub(/[ \t~]/, "", $2); sum[$1] += $2}
        END {printf "windows %d GCs %d pixmaps %d pictures %d fonts %d cursors %d other %d bytes %d",
             sum["windows"], sum["GCs"], sum["pixmaps"], sum["pictures"], sum["fonts"],
             sum["cursors"], sum["unknowns"], sum["totalbytes"]}'
}

build_window_tool() {
    mkdir -p build/tools
    cc -O2 -Wall -Wextra -Werror -o build/tools/soak-window tools/soak_window.c -lX11
}

case "${1:-}" in
    sim) shift; sim "$@" ;;
    twice) shift; twice "$@" ;;
    leak) shift; leak "$@" ;;
    window) shift; window "$@" ;;
    *) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 2 ;;
esac

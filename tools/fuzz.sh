#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) in build-fuzz/ and runs each for SECONDS
# (default 60), FUZZ_JOBS (default 2) at a time.
#
#   tools/fuzz.sh [SECONDS] [TARGET...]
#
# Corpora grow in out/fuzz/corpus/<target>, seeded from tests/data/, data/
# and the small files written below. An input that crashes a target, breaks
# one of its checks, runs over 10 s or allocates more than FUZZ_MALLOC_MB
# (default 512) MiB at once is a finding: it is kept as
# out/fuzz/findings/<target>-* and the script exits 1. The last lines give,
# per target, the seconds run, executions per second and coverage features.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_pack fuzz_tga fuzz_picture fuzz_prefs fuzz_xscreensaver
                                     fuzz_desktop_stores fuzz_names)
jobs=${FUZZ_JOBS:-2}
malloc_mb=${FUZZ_MALLOC_MB:-512}
out=$PWD/out/fuzz
build=build-fuzz

CC=clang CXX=clang++ cmake -S fuzz -B "$build" -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" >/dev/null

# Writes file $2 in seed folder $1 from printf format $3 and its arguments.
seed() {
    local dir=$out/seeds/$1 file=$2 format=$3
    shift 3
    mkdir -p "$dir"
    # shellcheck disable=SC2059
    printf "$format" "$@" >"$dir/$file"
}

copy_seeds() {
    mkdir -p "$out/seeds/$1"
    shift_target=$1
    shift
    for f in "$@"; do
        [ -f "$f" ] && cp "$f" "$out/seeds/$shift_target/$(basename "$f")"
    done
    return 0
}

write_seeds() {
    rm -rf "$out/seeds"
    copy_seeds fuzz_pack data/zarnish.vellumry tests/data/pack-*.vellumry
    # The TGA reproducers are packs of one entry; the picture is at offset 52.
    mkdir -p "$out/seeds/fuzz_tga"
    for f in data/pack/*.tga; do cp "$f" "$out/seeds/fuzz_tga/"; done
    for f in tests/data/tga-*.vellumry; do
        tail -c +53 "$f" >"$out/seeds/fuzz_tga/$(basename "$f" .vellumry).tga"
    done
    copy_seeds fuzz_picture tests/data/pictures/*
    if command -v convert >/dev/null; then
        local p=$out/seeds/fuzz_picture
        # The fallback picture, small: a full-screen decode per input would
        # leave little time for anything else.
        convert data/fallback.jpg -resize 48x27 "$p/fallback-small.jpg"
        convert -size 7x5 gradient:red-blue "$p/small.png"
        convert "$p/small.png" -quality 50 "$p/small.jpg"
        convert "$p/small.png" -interlace JPEG "$p/progressive.jpg"
        convert "$p/small.png" -colorspace CMYK "$p/cmyk.jpg"
        convert "$p/small.png" "$p/small.gif"
        convert "$p/small.png" -alpha set -channel A -evaluate set 50% "$p/alpha.png"
        convert "$p/small.png" -depth 16 "$p/deep.png"
        convert "$p/small.png" -colorspace Gray "$p/grey.png"
        convert "$p/small.png" -type Palette "$p/palette.png"
        convert "$p/small.png" -interlace PNG "$p/interlaced.png"
        convert "$p/small.png" -define webp:lossless=true "$p/lossless.webp" 2>/dev/null || true
        convert "$p/small.png" -quality 40 "$p/lossy.webp" 2>/dev/null || true
    fi
    seed fuzz_picture tiny.svg '<svg xmlns="http://www.w3.org/2000/svg" width="8" height="4"><rect width="8" height="4" fill="red"/></svg>'
    seed fuzz_picture viewbox.svg '<?xml version="1.0"?><svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 3 2"><circle cx="1" cy="1" r="1" fill-opacity="0.5"/></svg>'
    gzip -c "$out/seeds/fuzz_picture/tiny.svg" >"$out/seeds/fuzz_picture/tiny.svgz"

    local keys='FireRes=2\nBurnStyle=3\nBurnSpeed=5\nBurnDelay=7\nColours=1\nBGType=2\nBGRes=0\n'
    seed fuzz_prefs current.conf "[qxKindora]\nversion=1.1\nMainMonitorOnly=true\n${keys}BGPath=/home/u/Pictures\n"
    seed fuzz_prefs old.conf "[qxKindora]\nversion=1.0\n${keys}"
    seed fuzz_prefs escapes.conf '# note\n[qxKindora]\nversion=1.1\nBGPath=\\s/a\\tb\\\\c\\n\nFireRes=99999999999\n[other]\nx=y\n'
    seed fuzz_prefs empty.conf ''

    copy_seeds fuzz_xscreensaver tests/data/xscreensaver/hand-edited \
        tests/data/xscreensaver/written-by-settings
    {
        cat tests/data/xscreensaver/hand-edited
        printf '\0'
        head -c 20000 tests/data/xscreensaver/system-6.06
    } >"$out/seeds/fuzz_xscreensaver/with-system"
    seed fuzz_xscreensaver small 'grabDesktopImages:\tFalse\nprograms:\t\\\n\t\t\t\t qix -root\t\t\\n\\\n- GL:\t\t\t\t kindora --root\t\t\\n\\\n\t\t\t\t "Pretty"  maze -root \\n\n'
    seed fuzz_xscreensaver none 'mode:\trandom\n! comment\n#x\n\0*programs: a \\n\\\n  b\n'

    local d=fuzz_desktop_stores
    seed $d xfce '\000\005<?xml version="1.0"?><channel name="xfce4-desktop" version="1.0"><property name="backdrop" type="empty"><property name="screen0" type="empty"><property name="monitorHDMI-1" type="empty"><property name="workspace0" type="empty"><property name="last-image" type="string" value="/a.jpg"/></property></property><property name="monitor0" type="empty"><property name="workspace1" type="empty"><property name="last-image" type="string" value="/b.jpg"/></property></property></property></property><property name="single-workspace-mode" type="bool" value="true"/></channel>'
    seed $d slideshow '\001\000<background><starttime><year>2011</year></starttime><static><duration>10</duration><file><size width="800" height="600">/s.jpg</size><size width="1920" height="1080">/l.jpg</size></file></static><transition><from>/a</from><to>/b</to></transition></background>'
    seed $d plasma '\002\001[Containments][1]\nlastScreen=0\nplugin=org.kde.plasma.folder\nwallpaperplugin=org.kde.image\n[Containments][1][Wallpaper][org.kde.image][General]\nImage=file:///usr/share/wallpapers/Next/\n[Containments][2][Wallpaper][org.kde.image][General]\nImage[$e]=$HOME/x\\s.jpg\n'
    seed $d package '\003\000640x480.jpg\n1920x1080.png\n3840x2160.webp\nscreenshot.png\n10x10.svg\n'
    seed $d ini '\004\000Desktop\nWallpaper\n[Desktop]\nWallpaper="/q \\"x\\".png"\n; c\n#d\n[X]\nWallpaper=no\n'
    seed $d pcmanfm '\005\000[*]\nwallpaper_mode=crop\nwallpaper=/w.jpg\n'
    seed $d pcmanfm-qt '\006\000[Desktop]\nWallpaper=/x.png\nWallpaperMode=stretch\n'
    seed $d fehbg "\\007\\001#!/bin/sh\\nfeh --no-fehbg --bg-scale '/home/u/a b.jpg' \"/b\\\\\"c\" \\\\\\n /d.png # e\\n"
    seed $d nitrogen '\010\002[xin_-1]\nfile=/all.jpg\nmode=5\n\n[xin_1]\nfile=/second.jpg\n[:0.0]\nfile=/w.jpg\n'
    seed $d words "\\011\\000a 'b c' \"d\\\\\"e\" f\\\\ g; h | i & j # k"

    seed fuzz_names plain '/home/u/Pictures\000photo.JPG'
    seed fuzz_names short 'ab\000x.png'
    seed fuzz_names slash '/p/\000.gif'
    copy_seeds fuzz_names tests/data/name-longer-than-the-lower-case-copy.bin
}

run_target() {
    local target=$1
    local corpus=$out/corpus/$target log=$out/logs/$target.log
    mkdir -p "$corpus" "$out/logs" "$out/findings"
    local status=0 extra=()
    # The preference store's notes about files it set aside go to stderr.
    [ "$target" = fuzz_prefs ] && extra=(-close_fd_mask=2)
    "$build/$target" "${extra[@]}" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -malloc_limit_mb="$malloc_mb" -print_final_stats=1 -reload=0 \
        -artifact_prefix="$out/findings/$target-" "$corpus" "$out/seeds/$target" \
        >"$log" 2>&1 || status=$?
    local execs ft
    execs=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n1 || true)
    ft=$(grep -oE 'ft: [0-9]+' "$log" | tail -n1 | cut -d' ' -f2 || true)
    local verdict="no findings"
    [ "$status" -eq 0 ] || verdict="FINDING (exit $status; see $log)"
    printf '%-20s %5ss %8s exec/s %7s features  %s\n' "$target" "$seconds" "${execs:-?}" \
        "${ft:-?}" "$verdict" >"$out/logs/$target.summary"
    return "$status"
}

write_seeds
pids=()
names=()
failed=0
for target in "${targets[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
    run_target "$target" &
    pids+=($!)
    names+=("$target")
done
for i in "${!pids[@]}"; do wait "${pids[$i]}" || failed=1; done
echo "target                 time    speed         coverage"
for target in "${targets[@]}"; do cat "$out/logs/$target.summary"; done
exit $failed

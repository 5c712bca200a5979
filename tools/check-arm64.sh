#!/usr/bin/env bash
# Cross builds the portable libraries and kindora-sim for arm64, runs the
# simulation under qemu-user with arm64 Mesa, and compares its reports with
# the golden ones that the x86-64 build must match (tests/data/sim).
#
# Needs (Debian 12, after `dpkg --add-architecture arm64 && apt-get update`):
#   g++-aarch64-linux-gnu qemu-user-static (or qemu-user)
#   libgl-dev:arm64 libglu1-mesa-dev:arm64 libegl-dev:arm64 libegl-mesa0:arm64
#   libgl1-mesa-dri:arm64 libpng-dev:arm64 libjpeg62-turbo-dev:arm64
#   libgif-dev:arm64 libglib2.0-dev:arm64
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${BUILD_DIR:-build-arm64}
qemu=$(command -v qemu-aarch64-static || command -v qemu-aarch64 || true)
if [ -z "$qemu" ]; then
  echo "check-arm64: no qemu-aarch64 found (install qemu-user-static)" >&2
  exit 2
fi

cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE=tools/aarch64-linux-gnu.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF -DKINDORA_BENCH=OFF >/dev/null
cmake --build "$dir" -j "$(nproc)" --target kindora_settings kindora_core kindora_fire \
  kindora_assets kindora_pictures kindora_geometry kindora_config kindora-sim
file "$dir/apps/kindora-sim" | grep -q aarch64 || { echo "check-arm64: not an arm64 program" >&2; exit 1; }

# The arm64 loader and libraries; Mesa's software renderer, without a JIT.
libs=/usr/lib/aarch64-linux-gnu:/lib/aarch64-linux-gnu
run() {
  "$qemu" -L / -E LD_LIBRARY_PATH="$libs" -E LIBGL_ALWAYS_SOFTWARE=1 -E GALLIUM_DRIVER=softpipe \
    -E EGL_PLATFORM=surfaceless "$dir/apps/kindora-sim" "$@"
}

# Each golden test of tests/CMakeLists.txt: its arguments and its report.
status=0
checked=0
while IFS='|' read -r name args file; do
  report=$(mktemp)
  # shellcheck disable=SC2086  # the arguments are split as CTest splits them
  if ! run $args >"$report" 2>"$report.err"; then
    echo "FAIL $name: kindora-sim exited with an error: $(cat "$report.err")"
    status=1
  elif cmp -s "$report" "tests/data/sim/$file"; then
    echo "ok   $name"
  else
    echo "FAIL $name: the report differs from tests/data/sim/$file"
    diff "tests/data/sim/$file" "$report" | head -20 || true
    status=1
  fi
  rm -f "$report" "$report.err"
  checked=$((checked + 1))
done < <(sed -n 's/^kindora_sim_test(\(golden_[a-z0-9_]*\) "\([^"]*\)" ${golden}\/\([a-z0-9-]*\.txt\)).*/\1|\2|\3/p' \
           tests/CMakeLists.txt)
if [ "$checked" -eq 0 ]; then
  echo "check-arm64: no golden tests found in tests/CMakeLists.txt" >&2
  exit 1
fi
echo "check-arm64: $checked golden reports checked on arm64"
exit $status

#!/usr/bin/env bash
# Builds Kindora twice (release, and with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs every test in both builds; then builds
# kindora-sim with the plain (non-SSE2) loops and checks that its golden
# reports come out the same.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
status=0
for config in release sanitize; do
  dir=build-$config
  extra=()
  [ "$config" = sanitize ] && extra=(-DKINDORA_SANITIZE=ON -DKINDORA_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${extra[@]}" >/dev/null
  cmake --build "$dir" -j "$jobs"
  echo "== tests: $config build"
  (cd "$dir" && ctest --output-on-failure -j "$jobs") || status=1
done
cmake -S . -B build-scalar -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKINDORA_SCALAR=ON \
  -DKINDORA_BENCH=OFF >/dev/null
cmake --build build-scalar -j "$jobs" --target kindora-sim
echo "== tests: scalar build (golden reports)"
(cd build-scalar && ctest --output-on-failure -R sim_golden) || status=1
# A short fuzz run of every reader: any finding fails the run.
if command -v clang++ >/dev/null; then
    echo "== fuzz: ${KINDORA_FUZZ_SECONDS:-10} s a target"
    tools/fuzz.sh "${KINDORA_FUZZ_SECONDS:-10}" || status=1
else
    echo "== fuzz: skipped, clang++ is not installed"
fi
exit $status

#!/usr/bin/env bash
# Rebuilds the shipped pack data/zarnish.vellumry from data/pack/ with
# kindora-pack (built into BUILD, default "build"). The same pictures and
# manifest give the same bytes; a test checks that the committed pack matches.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target kindora-pack -j2
"$build/apps/kindora-pack" create data/zarnish.vellumry data/pack/zarnish.manifest
"$build/apps/kindora-pack" verify data/zarnish.vellumry

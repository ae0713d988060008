#!/usr/bin/env bash
# Lists 10,000 small mixed images (PNG, JPEG, BMP, GIF, 3-page TIFF, in four
# subfolders) through the main window's real loading code and prints how long
# it took and the longest time the window's event loop was kept waiting.
#
#   bench/list10k.sh [FOLDER]      FOLDER is filled on first use and reused
#   COUNT=2000 bench/list10k.sh    another number of files (in a fresh folder)
#   BUILD_DIR=build bench/list10k.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-app}
count=${COUNT:-10000}
folder=${1:-${TMPDIR:-/tmp}/quillon-list${count}}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target tst_app_list10k >/dev/null
QUILLON_BENCH_FOLDER="$folder" QUILLON_BENCH_COUNT="$count" QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
  "$build/tests/tst_app_list10k" listFolder 2>&1 | grep -E 'Listed|FAIL|stalled' || true

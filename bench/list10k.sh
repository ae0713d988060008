#!/usr/bin/env bash
# Lists small mixed images (PNG, JPEG, BMP, GIF, 3-page TIFF, in subfolders of
# 2,500) through the main window's real loading code, then works on the list:
# imports a list of the same paths, adds the folder, sorts, moves every other
# row down and up and removes every other row. Prints, per step, the time it
# took and the longest time the window's event loop was kept waiting (the
# goal: no stall over 100 ms at 10,000 files).
#
#   bench/list10k.sh                  10,000 and 100,000 files
#   COUNTS=2000 bench/list10k.sh      other numbers of files
#   BUILD_DIR=build bench/list10k.sh  FOLDER_BASE=/tmp bench/list10k.sh
# Each data set is made on first use in $FOLDER_BASE/quillon-list<count> and reused.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build-app}
counts=${COUNTS:-${COUNT:-10000 100000}}
base=${FOLDER_BASE:-${TMPDIR:-/tmp}}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j2 --target tst_app_list10k >/dev/null
for count in $counts; do
  QUILLON_BENCH_FOLDER="$base/quillon-list${count}" QUILLON_BENCH_COUNT="$count" QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} \
    "$build/tests/tst_app_list10k" 2>&1 | grep -E 'Listed|FAIL|stalled|bench:' | sed 's/^QINFO *: *TestList10k::[a-zA-Z]*([^)]*) //; s/^QINFO *: *TestList10k::[a-zA-Z]*() //' || true
done

#!/usr/bin/env bash
# Builds and runs the whole test suite twice: a normal build, then one with
# AddressSanitizer and UndefinedBehaviorSanitizer; then the core and CLI tests
# (with repeated parallel runs) once more in a ThreadSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")
# Slurm and GNU parallel over ssh, for real, on this machine (needs root).
if [ "$(id -u)" -eq 0 ]; then
  bash scripts/cluster/check.sh build/cli/quillon-convert
else
  echo "cluster check skipped: it starts Slurm and sshd, run as root"
fi
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs")
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TSAN=ON >/dev/null
cmake --build build-tsan -j "$jobs" --target quillon-convert quillon_core_cli_tests
# A child process's report goes to build-tsan/tsan-reports (the tests see only its exit code 66).
rm -rf build-tsan/tsan-reports && mkdir -p build-tsan/tsan-reports
if ! (cd build-tsan && ctest --output-on-failure -j "$jobs" -L 'core|cli'); then
  cat build-tsan/tsan-reports/* 2>/dev/null | head -200
  exit 1
fi

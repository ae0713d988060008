#!/usr/bin/env bash
# Builds the programs and starts Quillon Converter (edition 2).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/app/QuillonConverter2 ]; then
  exec build/app/QuillonConverter2 "$@"
else
  exec build/cli/quillon-convert --help
fi

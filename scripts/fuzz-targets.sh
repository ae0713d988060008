#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (in build-fuzz/, with AddressSanitizer
# and UndefinedBehaviorSanitizer) and runs each for SECONDS (default 60) on its
# seed corpus fuzz/corpus/<target>. Inputs it finds go to build-fuzz/corpus/,
# crashes to build-fuzz/crashes/<target>/; the seeds in the repository stay as
# they are. Ends with the executions per target. Not part of the test suite.
#
#   scripts/fuzz-targets.sh [SECONDS] [TARGET...]     (default: every target)
#   FUZZ_TOGETHER=1 scripts/fuzz-targets.sh 600       every target at the same time
#
# Replay one input:  build-fuzz/fuzz/<target> <file>
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
jobs=${FUZZ_BUILD_JOBS:-2}

cc=clang-14 cxx=clang++-14
command -v "$cxx" >/dev/null || {
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends clang-14 >/dev/null
}
scripts/deps.sh
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER="$cc" \
  -DCMAKE_CXX_COMPILER="$cxx" -DQUILLON_FUZZ=ON -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build build-fuzz --target fuzzers -j "$jobs" >/dev/null

targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(fuzz_pages fuzz_import fuzz_usage fuzz_settings
           fuzz_image_bmp fuzz_image_jpeg fuzz_image_png fuzz_image_gif fuzz_image_tiff
           fuzz_image_heif fuzz_image_webp fuzz_image_jxl)
fi

export ASAN_OPTIONS=detect_leaks=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
# The targets' temporary files stay in the build folder, also after a crash.
export TMPDIR="$PWD/build-fuzz/tmp"
mkdir -p "$TMPDIR"

summary=()
failed=0
run_one() { # target: runs it, writes its summary line to build-fuzz/<target>.result
  local t=$1 corpus=build-fuzz/corpus/$1 crashes=build-fuzz/crashes/$1 log=build-fuzz/$1.log
  mkdir -p "$corpus" "$crashes"
  echo "== $t: ${seconds}s"
  set +e
  # Memory is judged by what is used (rss), not by what is asked for: a damaged
  # length makes Qt ask for gigabytes it never touches, which the system grants.
  "build-fuzz/fuzz/$t" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=4096 -malloc_limit_mb=32768 -print_final_stats=1 \
    -artifact_prefix="$crashes/" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1
  local rc=$?
  set -e
  local execs; execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  local result=ok
  ((rc == 0)) || result="FOUND (exit $rc): $(ls -t "$crashes" | head -1); see $log"
  printf '%-18s %12s executions  %s\n' "$t" "${execs:-?}" "$result" > "build-fuzz/$t.result"
}
if [ "${FUZZ_TOGETHER:-0}" = 1 ]; then
  for t in "${targets[@]}"; do run_one "$t" & done
  wait
else
  for t in "${targets[@]}"; do run_one "$t"; done
fi
for t in "${targets[@]}"; do
  line=$(cat "build-fuzz/$t.result")
  summary+=("$line")
  [[ $line == *FOUND* ]] && failed=$((failed + 1))
done

echo
echo "Executions per target (${seconds}s each):"
printf '%s\n' "${summary[@]}"
exit $((failed > 0))

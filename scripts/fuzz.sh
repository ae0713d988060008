#!/usr/bin/env bash
# Feeds damaged images to the sanitizer build of quillon-convert and reports any
# sanitizer error, crash or hang; then random inputs through the LZW encoder.
# Not part of the test suite; run it after touching the decoders or the writer.
#
#   scripts/fuzz.sh [BATCHES] [FILES_PER_BATCH]     (defaults 6 and 300)
#
# Each batch is reproducible: batch N always mutates with random seed N.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
batches=${1:-6}
per=${2:-300}

command -v convert >/dev/null || {
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends imagemagick >/dev/null
}
scripts/deps.sh
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON >/dev/null
cmake --build build-asan --target quillon-convert tst_lzw >/dev/null
qc="$root/build-asan/cli/quillon-convert"

work=$(mktemp -d /tmp/quillon-fuzz.XXXXXX)
seeds="$work/seeds"
mkdir -p "$seeds"
g="-size 37x23 gradient:red-blue"
convert $g "$seeds/s.png"
convert $g -alpha set -channel A -evaluate set 50% "$seeds/alpha.png"
convert $g -quality 80 "$seeds/s.jpg"
convert $g "$seeds/s.bmp"
convert $g -colors 16 "$seeds/s.gif"
convert -delay 10 "$seeds/s.gif" "$seeds/s.png" "$seeds/s.gif" "$seeds/anim.gif"
convert $g -compress lzw "$seeds/lzw.tif"
convert $g -compress jpeg "$seeds/jpeg.tif"
convert $g -colorspace cmyk "$seeds/cmyk.tif"
convert $g -compress rle -interlace plane "$seeds/planar.tif"
convert $g -define tiff:tile-geometry=16x16 "$seeds/tiled.tif"
convert -size 37x23 gradient: -depth 16 -compress zip "$seeds/grey16.tif"
convert -size 37x23 xc:white -fill black -draw "circle 18,11 5,5" -monochrome -compress group4 "$seeds/g4.tif"

mutate() { # seed-folder out-folder count random-seed
  python3 - "$@" <<'PY'
import os, random, sys
src, out, n, seed = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
random.seed(seed)
seeds = sorted(os.path.join(src, f) for f in os.listdir(src))
os.makedirs(out, exist_ok=True)
for i in range(n):
    path = random.choice(seeds)
    data = bytearray(open(path, 'rb').read())
    for _ in range(random.randint(1, 8)):
        op = random.random()
        if op < 0.5 and data:
            data[random.randrange(len(data))] = random.randrange(256)
        elif op < 0.65 and data:
            p = random.randrange(len(data))
            data[p:p + 4] = random.choice([b'\xff\xff\xff\xff', b'\0\0\0\0', b'\x7f\xff\xff\xff', b'\0\0\1\0'])
        elif op < 0.8:
            data = data[:random.randrange(max(1, len(data)))]
        elif op < 0.9 and data:
            p, q = random.randrange(len(data)), random.randrange(len(data))
            data[p:p] = data[q:q + random.randint(1, 64)]
        else:
            p = random.randrange(max(1, len(data)))
            del data[p:p + random.randint(1, 32)]
    open(os.path.join(out, 'm%05d%s' % (i, os.path.splitext(path)[1])), 'wb').write(data)
PY
}

export ASAN_OPTIONS=detect_leaks=0:exitcode=99
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1:exitcode=98
export XDG_DATA_HOME="$work/data"
problems=0
for ((b = 1; b <= batches; b++)); do
  in="$work/b$b/in"; out="$work/b$b/out"
  mutate "$seeds" "$in" "$per" "$b"
  for run in "-c lzw" "-c g4" "-m combine -n all -c packbits"; do
    rm -rf "$out"; mkdir -p "$out"
    set +e
    # shellcheck disable=SC2086
    timeout 600 "$qc" -q $run -o "$out" "$in" >/dev/null 2>"$work/b$b/stderr"
    rc=$?
    set -e
    if ((rc > 1)) || grep -q "runtime error\|AddressSanitizer" "$work/b$b/stderr"; then
      problems=$((problems + 1))
      echo "batch $b ($run): exit $rc; see $work/b$b/stderr"
    elif ls -A "$out" | grep -q '^\.'; then
      problems=$((problems + 1))
      echo "batch $b ($run): a temporary file was left in $out"
    fi
  done
  echo "batch $b: done"
done
# The LZW encoder on its own: random inputs must come back from libtiff's
# decoder exactly.
if ! QUILLON_LZW_INPUTS=$((batches * per)) "$root/build-asan/tests/tst_lzw" randomInputs >"$work/lzw.log" 2>&1; then
  problems=$((problems + 1))
  echo "lzw round trips: see $work/lzw.log"
fi
echo "lzw: done"
if ((problems)); then
  echo "$problems problem(s); inputs kept in $work"
  exit 1
fi
rm -rf "$work"
echo "no problems in $batches batches of $per files"

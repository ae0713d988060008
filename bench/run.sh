#!/usr/bin/env bash
# Times quillon-convert (one job, and one job per core) side by side with
# ImageMagick, GraphicsMagick, libvips (one file at a time, and two processes
# at once) and tiffcp on the same data set, all in one run on this machine.
# Prints, per workload and tool: median wall time, source megapixels per
# second and peak memory; then per workload the fastest peer and the ratio
# peer time / our time (above 1: we are faster).
#
#   bench/run.sh [--quick]      --quick: fewer and smaller images, one repeat
#   bench/run.sh --prepare      only build and generate the data set
#   REPEAT=5 bench/run.sh       repeats per measurement (median taken; default 3)
#   SYNC=1 bench/run.sh         also flush each output to disk (fdatasync) in every tool's run
#   ONLY=shards bench/run.sh    only the rows of splitting a batch (2 shards; a 1/1000 shard of a
#                               1,000,000-line list)
#   ONLY='Deflate|JPEG q' bench/run.sh   other values: only the workloads whose name matches (a bash regex)
#   ONLY=small bench/run.sh     only the many small files (SMALL=10000 of them, PNG and JPEG,
#                               64-256 px; every tool's outputs flushed with sync -f).
#                               libvips there starts a process per file: about 100 ms each
#                               here, a quarter of an hour for 10,000, so measured once;
#                               SMALL_VIPS=0 leaves it out
#   A floor row (JPEG to uncompressed): libjpeg-turbo's djpeg decoding every file to a PPM
#                               of the same pixels in the same folder, one process per core:
#                               decode alone on all cores plus the write, below which no tool goes.
#   QC_OLD=path/to/quillon-convert bench/run.sh   also times that build (rows old-j1, old-jN)
#                               in the same run, for before/after ratios
#
# The data set is generated once into bench/out/data (delete it to remake it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
quick=0; prepare=0
[ "${1:-}" = "--quick" ] && quick=1
[ "${1:-}" = "--prepare" ] && prepare=1
repeat=${REPEAT:-3}
((quick)) && repeat=${REPEAT:-1}

need=()
[ -x /usr/bin/convert ] || need+=(imagemagick)  # /usr/local/bin may hold a stand-in
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
command -v tiffcp >/dev/null || need+=(libtiff-tools)
command -v djpeg >/dev/null || need+=(libjpeg-turbo-progs)
[ -x /usr/bin/time ] || need+=(time)
if ((${#need[@]})); then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target quillon-convert >/dev/null
qc="$root/build-bench/cli/quillon-convert"
cores=$(nproc)
# The same program with its flushes made no-ops: the difference is what putting
# each output on disk before it is named costs.
mkdir -p "$root/bench/out"
printf 'int %s(int fd) { (void)fd; return 0; }\n' fdatasync fsync syncfs > "$root/bench/out/nosync.c"
cc -shared -fPIC -O2 "$root/bench/out/nosync.c" -o "$root/bench/out/nosync.so"
qc_nosync="env LD_PRELOAD=$root/bench/out/nosync.so $qc"

# Debian's ImageMagick policy caps memory, area and disk far below these workloads;
# a policy of our own lifts the caps (environment variables cannot raise them).
mkdir -p "$root/bench/out/magick"
cat > "$root/bench/out/magick/policy.xml" <<'XML'
<policymap>
  <policy domain="resource" name="memory" value="8GiB"/>
  <policy domain="resource" name="map" value="8GiB"/>
  <policy domain="resource" name="width" value="100KP"/>
  <policy domain="resource" name="height" value="100KP"/>
  <policy domain="resource" name="area" value="4GP"/>
  <policy domain="resource" name="disk" value="32GiB"/>
</policymap>
XML
export MAGICK_CONFIGURE_PATH="$root/bench/out/magick"
export XDG_DATA_HOME="$root/bench/out/xdg"
if ((quick)); then data="$root/bench/out/data-quick"; else data="$root/bench/out/data"; fi
work="$root/bench/out/work"
if ((quick)); then W=1500; H=1000; N=8; NP=20; else W=3000; H=2000; N=40; NP=100; fi

make_data() {
  echo "Generating the data set in $data ..." >&2
  rm -rf "$data"; mkdir -p "$data"/{jpg,png,bmp,gif,g4src,g4}
  # Photo-like: a plasma fractal, varied per file.
  convert -size ${W}x${H} plasma:fractal -blur 0x2 "$data/base.png"
  for i in $(seq 1 $N); do
    convert "$data/base.png" -modulate 100,$((80 + i % 40)),$((50 + (i * 7) % 100)) -roll +$((i * 37))+$((i * 23)) \
      -quality 90 "$data/jpg/photo$i.jpg"
    convert "$data/jpg/photo$i.jpg" -resize $((W * 2 / 3))x$((H * 3 / 4))! "$data/png/image$i.png"
    convert "$data/jpg/photo$i.jpg" -resize $((W * 2 / 3))x$((H * 3 / 4))! -type TrueColor "BMP3:$data/bmp/image$i.bmp"
    convert "$data/jpg/photo$i.jpg" -resize $((W * 8 / 15))x$((H * 3 / 5))! -colors 256 "$data/gif/image$i.gif"
  done
  # 1-bit A4 pages at 300 dpi that look like typed text, then a 100-page G4 TIFF.
  for i in $(seq 1 10); do
    convert -size 2480x3508 xc:white -density 300 -font DejaVu-Sans -pointsize 40 -fill black \
      -annotate +200+$((300 + i * 10)) "$(yes "Quillon benchmark page $i: the quick brown fox jumps over the lazy dog." | head -n 60 | tr '\n' ' ' | fold -w 80)" \
      -monochrome -compress Group4 "$data/g4src/page$i.tif" 2>/dev/null || \
    convert -size 2480x3508 xc:white -density 300 -fill black -draw "rectangle 200,$((200 + i * 20)) 2200,$((260 + i * 20))" \
      -monochrome -compress Group4 "$data/g4src/page$i.tif"
  done
  args=(); for n in $(seq 1 $NP); do args+=("$data/g4src/page$(( (n - 1) % 10 + 1 )).tif"); done
  tiffcp -c g4 "${args[@]}" "$data/g4/book.tif"
  rm -rf "$data/g4src" "$data/base.png"
}
[ -f "$data/g4/book.tif" ] || make_data

# Many small files: tiles of a few sizes cut from varied copies of one picture,
# one convert call per copy (one call per file would take longer than the runs).
small_count=${SMALL:-$( ((quick)) && echo 1000 || echo 10000)}
small="$root/bench/out/small$small_count"
make_small() {
  echo "Generating $small_count small images in $small ..." >&2
  rm -rf "$small" "$small.mp"; mkdir -p "$small"
  convert -size 1536x1024 plasma:fractal -blur 0x1 "$small/base.miff"
  local sizes=(64x64 128x128 256x256 192x128 96x64 128x256 256x128 64x128) k=0
  while (($(find "$small" -name '*.png' | wc -l) < small_count)); do
    convert "$small/base.miff" -roll +$((k * 97))+$((k * 61)) -modulate 100,$((60 + k * 13 % 80)),$((k * 29 % 200)) \
      $( ((k % 3 == 2)) && echo -colorspace Gray ) -crop "${sizes[k % ${#sizes[@]}]}" +repage "$small/s${k}_%04d.png"
    k=$((k + 1))
  done
  rm "$small/base.miff"
  # Every other file becomes a JPEG.
  (cd "$small" && ls | sort | tail -n +$((small_count + 1)) | xargs -r rm &&
    ls | sort | awk 'NR % 2 == 0' > ../half.txt && xargs mogrify -format jpg -quality 88 < ../half.txt &&
    xargs rm < ../half.txt && rm ../half.txt)
}
[ -f "$small.mp" ] || { make_small; (cd "$small" && identify -format '%w %h\n' ./* | awk '{s += $1 * $2} END {printf "%.1f", s / 1e6}' > "$small.mp"); }
((prepare)) && exit 0
wanted() { [ -z "${ONLY:-}" ] || { [ "$ONLY" != shards ] && [[ "$1" =~ $ONLY ]]; }; }

megapixels() { # total source megapixels of the files given (every page)
  identify -format '%w %h\n' "$@" 2>/dev/null | awk '{s += $1 * $2} END {printf "%.1f", s / 1e6}'
}

sync_cmd=""
[ "${SYNC:-0}" = 1 ] && sync_cmd="; sync -d $work/* 2>/dev/null || true"

results="$root/bench/out/results.txt"
summary="$root/bench/out/summary.txt"
: > "$results"; : > "$summary"
echo "bench/run.sh on $(nproc) cores, median of $repeat, $(date -u +%Y-%m-%dT%H:%MZ)" | tee -a "$results"
printf '%-36s %-16s %9s %9s %10s %9s\n' workload tool "wall s" "MP/s" "peak MiB" "out MiB" | tee -a "$results"

declare -A best_peer best_peer_tool ours1 oursN mem shards2 oneproc2 outsize window floor
measure() { # workload tool mp command...
  local wl=$1 tool=$2 mp=$3; shift 3
  [ -n "${ONLY:-}" ] && [ "$ONLY" != shards ] && ! [[ "$wl" =~ $ONLY ]] && return 0
  local walls=() kbmax=0 status=ok
  for _ in $(seq 1 "${MEASURE_REPEAT:-$repeat}"); do
    rm -rf "$work"; mkdir -p "$work"
    local tf; tf=$(mktemp)
    /usr/bin/time -f '%e %M' -o "$tf" bash -c "$* $sync_cmd" >/dev/null 2>&1 || status=failed
    local wall kb; read -r wall kb < <(tail -n 1 "$tf"); rm -f "$tf"
    walls+=("$wall"); ((kb > kbmax)) && kbmax=$kb
  done
  local med; med=$(printf '%s\n' "${walls[@]}" | sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}')
  local mps; mps=$(awk -v m="$mp" -v w="$med" 'BEGIN { printf "%.1f", (w > 0 ? m / w : 0) }')
  # What the tool wrote: its TIFFs (not the scratch files some peers need).
  local bytes; bytes=$(find "$work" \( -name '*.tiff' -o -name '*.ppm' \) -printf '%s\n' | awk '{s += $1} END {print s + 0}')
  outsize[$wl/$tool]=$bytes
  local outmib; outmib=$(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1048576 }')
  printf '%-36s %-16s %9s %9s %10d %9s %s\n' "$wl" "$tool" "$med" "$mps" $((kbmax / 1024)) "$outmib" "$([ $status = ok ] || echo '(failed)')" | tee -a "$results"
  [ $status = ok ] || return 0
  case $tool in
    quillon-j1) ours1[$wl]=$med ;;
    quillon-j*) oursN[$wl]=$med; mem[$wl]=$((kbmax / 1024)) ;;
    nosync-* | size-* | old-*) ;;
    window-*) window[$wl]=$med ;;
    floor-*) floor[$wl]=$med ;;
    2-shards-j1) shards2[$wl]=$med ;;
    1-process-j2) oneproc2[$wl]=$med ;;
    list-*) ;;
    *) if [ -z "${best_peer[$wl]:-}" ] || awk -v a="$med" -v b="${best_peer[$wl]}" 'BEGIN { exit !(a < b) }'; then
         best_peer[$wl]=$med; best_peer_tool[$wl]=$tool
       fi ;;
  esac
}

cmds_for() { # template with IN and OUT, files...: one command per line
  local tmpl=$1; shift
  for f in "$@"; do
    local b; b=$(basename "${f%.*}")
    local c=${tmpl//IN/$f}; echo "${c//OUT/$work/$b.tiff}"
  done
}
# Runs a file of commands one after another, or two at once.
serial() { echo "bash $1"; }
twice() { echo "VIPS_CONCURRENCY=1 xargs -P 2 -d '\\n' -n 1 sh -c < $1"; }
each_core() { echo "xargs -P $cores -d '\\n' -n 1 sh -c < $1"; }

peers_per_file() { # workload mp imagemagick-template gm-template vips-template files...
  local wl=$1 mp=$2 im=$3 gmt=$4 vt=$5; shift 5
  local d="$root/bench/out/cmds"; mkdir -p "$d"
  cmds_for "convert $im" "$@" > "$d/im"; cmds_for "gm convert $gmt" "$@" > "$d/gm"; cmds_for "vips $vt" "$@" > "$d/vips"
  measure "$wl" imagemagick "$mp" "$(serial "$d/im")"
  measure "$wl" graphicsmagick "$mp" "$(serial "$d/gm")"
  measure "$wl" vips "$mp" "$(serial "$d/vips")"
  measure "$wl" "vips-2-at-once" "$mp" "$(twice "$d/vips")"
}

ours() { # workload mp args...
  local wl=$1 mp=$2; shift 2
  measure "$wl" quillon-j1 "$mp" "$qc -q --jobs 1 -o $work $*"
  measure "$wl" "quillon-j$cores" "$mp" "$qc -q --jobs $cores -o $work $*"
  old "$wl" "$mp" "$@"
}
old() { # workload mp args...: the build QC_OLD names, for before/after
  [ -n "${QC_OLD:-}" ] || return 0
  local wl=$1 mp=$2; shift 2
  measure "$wl" old-j1 "$mp" "$QC_OLD -q --jobs 1 -o $work $*"
  measure "$wl" "old-j$cores" "$mp" "$QC_OLD -q --jobs $cores -o $work $*"
}
nosync() { # workload mp args...: what the flush before naming costs
  local wl=$1 mp=$2; shift 2
  measure "$wl" "nosync-j$cores" "$mp" "$qc_nosync -q --jobs $cores -o $work $*"
}

jpgs=("$data"/jpg/*.jpg); pngs=("$data"/png/*.png); bmps=("$data"/bmp/*.bmp); gifs=("$data"/gif/*.gif)
g4="$data/g4/book.tif"
mp_jpg=$(megapixels "${jpgs[@]}"); mp_png=$(megapixels "${pngs[@]}"); mp_bmp=$(megapixels "${bmps[@]}")
mp_gif=$(megapixels "${gifs[@]}"); mp_g4=$(megapixels "$g4")

# Splitting a batch: two processes of one job each, one shard each, against
# one process with two jobs (on the photos, and on the small files, where the
# shards' halves are the most even); and a shard of a list of a million paths.
split_rows() { # workload mp source flush
  local wl=$1 mp=$2 src=$3 flush=$4
  measure "$wl" 1-process-j2 "$mp" "$qc -q --jobs 2 -o $work -c lzw $src $flush"
  measure "$wl" 2-shards-j1 "$mp" "$qc -q --jobs 1 -o $work -c lzw --shard 1/2 $src & $qc -q --jobs 1 -o $work -c lzw --shard 2/2 $src; wait \$! $flush"
  local o=${oneproc2[$wl]:-0} t=${shards2[$wl]:-0}
  awk -v w="$wl" -v o="$o" -v t="$t" 'BEGIN { printf "Splitting into 2 shards (%s): %.2f s against %.2f s in one process (%+.1f %%)\n", w, t, o, (o > 0 ? (t / o - 1) * 100 : 0) }' \
    | tee -a "$summary" | tee -a "$results"
}
shards() {
  split_rows "$N JPEG -> $N TIFF, LZW, split" "$mp_jpg" "$data/jpg" ""
  split_rows "$small_count small PNG/JPEG, LZW, split" "$(cat "$small.mp")" "$small" "; sync -f $work"
  local list="$root/bench/out/million.txt" folder="$root/bench/out/million"
  if [ ! -f "$list" ]; then
    awk -v d="$folder" 'BEGIN { for (i = 0; i < 1000000; i++) printf "%s/box%03d/scan%06d.png\n", d, i % 1000, i }' > "$list"
    # The program names its own part: a first run lists the shard's sources as failed.
    rm -rf "$folder" "$work"; mkdir -p "$work"
    "$qc" -q --jobs 1 -o "$work" --files-from "$list" --shard 1/1000 --failed-list "$root/bench/out/million-part.txt" >/dev/null 2>&1 || true
    convert -size 64x48 plasma:fractal "$root/bench/out/small.png"
    while read -r f; do mkdir -p "${f%/*}"; cp "$root/bench/out/small.png" "$f"; done < "$root/bench/out/million-part.txt"
  fi
  local part; part=$(wc -l < "$root/bench/out/million-part.txt")
  measure "1,000,000-line list, shard 1/1000" "list-$part-files" 0 "$qc -q --jobs 1 -o $work -c lzw --files-from $list --shard 1/1000"
}
if [ "${ONLY:-}" = shards ]; then
  shards
  exit 0
fi
wanted "$N JPEG -> $N TIFF, LZW, split" && shards

wl="$N JPEG -> $N TIFF, LZW"
ours "$wl" "$mp_jpg" -c lzw "$data/jpg"
peers_per_file "$wl" "$mp_jpg" 'IN -compress LZW OUT' 'IN -compress LZW OUT' 'tiffsave IN OUT --compression lzw --predictor horizontal' "${jpgs[@]}"

wl="$N JPEG -> $N TIFF, none"
ours "$wl" "$mp_jpg" -c none "$data/jpg"
nosync "$wl" "$mp_jpg" -c none "$data/jpg"
peers_per_file "$wl" "$mp_jpg" 'IN -compress None OUT' 'IN -compress None OUT' 'tiffsave IN OUT' "${jpgs[@]}"
cmds_for "djpeg -outfile OUT IN" "${jpgs[@]}" | sed 's/\.tiff$/.ppm/' > "$root/bench/out/cmds/floor"
measure "$wl" floor-djpeg "$mp_jpg" "$(each_core "$root/bench/out/cmds/floor")"

wl="$N JPEG -> one $N-page TIFF, LZW"
ours "$wl" "$mp_jpg" -m combine -n all -c lzw "$data/jpg"
nosync "$wl" "$mp_jpg" -m combine -n all -c lzw "$data/jpg"
measure "$wl" imagemagick "$mp_jpg" "convert ${jpgs[*]} -compress LZW $work/all.tiff"
measure "$wl" graphicsmagick "$mp_jpg" "gm convert ${jpgs[*]} -compress LZW $work/all.tiff"
measure "$wl" vips "$mp_jpg" "vips arrayjoin '${jpgs[*]}' $work/tall.v --across 1 && vips tiffsave $work/tall.v $work/all.tiff --page-height $H --compression lzw --predictor horizontal"

wl="$N PNG -> $N TIFF, PackBits"
ours "$wl" "$mp_png" -c packbits "$data/png"
peers_per_file "$wl" "$mp_png" 'IN -compress RLE OUT' 'IN -compress RLE OUT' 'tiffsave IN OUT --compression packbits' "${pngs[@]}"

wl="$NP-page G4 -> $NP-page G4"
ours "$wl" "$mp_g4" -c g4 "$g4"
measure "$wl" imagemagick "$mp_g4" "convert $g4 -compress Group4 $work/book.tiff"
measure "$wl" graphicsmagick "$mp_g4" "gm convert $g4 -compress Group4 $work/book.tiff"
measure "$wl" vips "$mp_g4" "vips tiffsave '$g4[n=-1]' $work/book.tiff --compression ccittfax4 --bitdepth 1 --page-height 3508"
measure "$wl" tiffcp "$mp_g4" "tiffcp -c g4 $g4 $work/book.tiff"

wl="$N colour JPEG -> $N TIFF, G4"
ours "$wl" "$mp_jpg" -c g4 "$data/jpg"
peers_per_file "$wl" "$mp_jpg" 'IN -colorspace Gray -threshold 50% -compress Group4 OUT' \
  'IN -colorspace Gray -threshold 50% -compress Group4 OUT' \
  'colourspace IN OUT.v b-w && vips relational_const OUT.v OUT.t.v more 127 && vips tiffsave OUT.t.v OUT --compression ccittfax4 --bitdepth 1' "${jpgs[@]}"

wl="$N GIF -> $N TIFF, LZW"
ours "$wl" "$mp_gif" -c lzw "$data/gif"
peers_per_file "$wl" "$mp_gif" 'IN -compress LZW OUT' 'IN -compress LZW OUT' 'tiffsave IN OUT --compression lzw' "${gifs[@]}"

wl="$N BMP -> $N TIFF, LZW"
ours "$wl" "$mp_bmp" -c lzw "$data/bmp"
peers_per_file "$wl" "$mp_bmp" 'IN -compress LZW OUT' 'IN -compress LZW OUT' 'tiffsave IN OUT --compression lzw --predictor horizontal' "${bmps[@]}"

for c in Deflate Zstandard; do
  wl="$N PNG -> $N TIFF, $c"
  ours "$wl" "$mp_png" -c "$([ $c = Deflate ] && echo deflate || echo zstd)" "$data/png"
  zc=$([ $c = Deflate ] && echo Zip || echo Zstd); vc=$([ $c = Deflate ] && echo deflate || echo zstd)
  peers_per_file "$wl" "$mp_png" "IN -compress $zc -define tiff:predictor=2 OUT" "IN -compress $zc -define tiff:predictor=2 OUT" \
    "tiffsave IN OUT --compression $vc --predictor horizontal" "${pngs[@]}"
  wl="$N BMP -> $N TIFF, $c"
  ours "$wl" "$mp_bmp" -c "$vc" "$data/bmp"
  peers_per_file "$wl" "$mp_bmp" "IN -compress $zc -define tiff:predictor=2 OUT" "IN -compress $zc -define tiff:predictor=2 OUT" \
    "tiffsave IN OUT --compression $vc --predictor horizontal" "${bmps[@]}"
done
# The size Deflate is measured against.
wl="$N PNG -> $N TIFF, LZW (size)"
measure "$wl" size-only "$mp_png" "$qc -q --jobs $cores -o $work -c lzw $data/png"

wl="$N JPEG -> $N TIFF, JPEG q90"
ours "$wl" "$mp_jpg" -c jpeg --quality 90 "$data/jpg"
peers_per_file "$wl" "$mp_jpg" 'IN -compress JPEG -quality 90 OUT' 'IN -compress JPEG -quality 90 OUT' \
  'tiffsave IN OUT --compression jpeg --Q 90' "${jpgs[@]}"

# Every tool's outputs are flushed (ours flushes each file before naming it,
# and the sync after it finds little left to do).
wl="$small_count small PNG/JPEG -> TIFF, LZW"
mp_small=$(cat "$small.mp")
flush="; sync -f $work"
measure "$wl" quillon-j1 "$mp_small" "$qc -q --jobs 1 -o $work -c lzw $small $flush"
measure "$wl" "quillon-j$cores" "$mp_small" "$qc -q --jobs $cores -o $work -c lzw $small $flush"
old "$wl" "$mp_small" -c lzw "$small $flush"
measure "$wl" graphicsmagick "$mp_small" "cd $small && gm mogrify -output-directory $work -format tiff -compress LZW ./* $flush"
measure "$wl" imagemagick "$mp_small" "mogrify -path $work -format tiff -compress LZW $small/* $flush"
# The same through the window (tests/gui/tst_app_convert_bench: the real window
# offscreen adds the folder as a drop does, picks LZW in the settings sheet and
# presses Convert; one file per core at once, its default). Built in
# WINDOW_BUILD (default build-bench-app, a Release build with the tests);
# SMALL_WINDOW=0 leaves it out.
if wanted "$wl" && [ "${SMALL_WINDOW:-1}" != 0 ]; then
  wb=${WINDOW_BUILD:-$root/build-bench-app}
  [ -n "${WINDOW_BUILD:-}" ] || cmake -S . -B "$wb" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$wb" --target tst_app_convert_bench >/dev/null
  measure "$wl" "window-j$cores" "$mp_small" "QT_QPA_PLATFORM=offscreen QUILLON_BENCH_SOURCE=$small QUILLON_BENCH_OUTPUT=$work $wb/tests/tst_app_convert_bench $flush"
  if [ -n "${window[$wl]:-}" ] && [ -n "${oursN[$wl]:-}" ]; then
    awk -v w="${window[$wl]}" -v c="${oursN[$wl]}" 'BEGIN { printf "Through the window: %.2f s against the CLI'"'"'s %.2f s (%+.1f %%)\n", w, c, (c > 0 ? (w / c - 1) * 100 : 0) }' \
      | tee -a "$summary" | tee -a "$results"
  fi
fi
if wanted "$wl" && [ "${SMALL_VIPS:-1}" != 0 ]; then
  # A process per file, two at once: minutes for 10,000 files, so measured once.
  find "$small" -type f | sort | awk -v w="$work" '{n = $0; sub(/.*\//, "", n); sub(/\.[a-z]+$/, "", n); printf "vips copy %s %s/%s.tiff[compression=lzw]\n", $0, w, n}' > "$root/bench/out/small-vips.txt"
  MEASURE_REPEAT=1 measure "$wl" "vips-2-at-once" "$mp_small" "$(twice "$root/bench/out/small-vips.txt") $flush"
fi

{
  echo
  printf '%-36s %-16s %9s %9s %9s %9s %8s %8s %10s\n' workload "fastest peer" "peer s" "ours j1" "ours j$cores" "ratio" "peak MiB" \
    "floor s" "ours/floor"
  for wl in "${!oursN[@]}"; do
    ratio=$(awk -v p="${best_peer[$wl]:-0}" -v o="${oursN[$wl]}" 'BEGIN { printf "%.2f", (o > 0 ? p / o : 0) }')
    over=$(awk -v f="${floor[$wl]:-0}" -v o="${oursN[$wl]}" 'BEGIN { if (f > 0) printf "%.2f", o / f; else printf "-" }')
    printf '%-36s %-16s %9s %9s %9s %9s %8s %8s %10s\n' "$wl" "${best_peer_tool[$wl]:-?}" "${best_peer[$wl]:-?}" "${ours1[$wl]:-?}" \
      "${oursN[$wl]}" "$ratio" "${mem[$wl]:-?}" "${floor[$wl]:--}" "$over"
  done | sort
  lzw=${outsize["$N PNG -> $N TIFF, LZW (size)/size-only"]:-0}
  deflate=${outsize["$N PNG -> $N TIFF, Deflate/quillon-j$cores"]:-0}
  if ((lzw > 0 && deflate > 0)); then
    awk -v l="$lzw" -v d="$deflate" 'BEGIN { printf "PNG set: Deflate files %.1f %% smaller than LZW\n", 100 * (l - d) / l }'
  fi
} | tee -a "$summary" | tee -a "$results"
echo "Results saved in $results"

#!/usr/bin/env bash
# Times quillon-convert side by side with ImageMagick, GraphicsMagick, libvips
# (and tiffcp for TIFF to TIFF) on the same data set. Prints, per workload and
# tool: wall time, source megapixels per second and peak memory.
#
#   bench/run.sh [--quick]      (--quick: fewer and smaller images)
#
# The data set is generated once into bench/out/data (delete it to remake it).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
quick=0
[ "${1:-}" = "--quick" ] && quick=1

need=()
command -v convert >/dev/null || need+=(imagemagick)
command -v gm >/dev/null || need+=(graphicsmagick)
command -v vips >/dev/null || need+=(libvips-tools)
command -v tiffcp >/dev/null || need+=(libtiff-tools)
[ -x /usr/bin/time ] || need+=(time)
if ((${#need[@]})); then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo=sudo
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

scripts/deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUILLON_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench --target quillon-convert >/dev/null
qc="$root/build-bench/cli/quillon-convert"
# The same program with fdatasync() made a no-op: the difference is what flushing
# each output to disk before it is named costs.
mkdir -p "$root/bench/out"
printf 'int fdatasync(int fd) { (void)fd; return 0; }\n' > "$root/bench/out/nosync.c"
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
data="$root/bench/out/data"
work="$root/bench/out/work"
if ((quick)); then W=1500; H=1000; NJ=4; NC=10; NP=100; else W=3000; H=2000; NJ=10; NC=40; NP=100; fi

make_data() {
  echo "Generating the data set in $data ..." >&2
  rm -rf "$data"; mkdir -p "$data"/{jpg,jpg40,png,bmp,gif,g4src}
  # Photo-like: a plasma fractal, varied per file.
  convert -size ${W}x${H} plasma:fractal -blur 0x2 "$data/base.png"
  for i in $(seq 1 $NC); do
    convert "$data/base.png" -modulate 100,$((80 + i % 40)),$((50 + (i * 7) % 100)) -roll +$((i * 37))+$((i * 23)) \
      -quality 90 "$data/jpg40/photo$i.jpg"
  done
  for i in $(seq 1 $NJ); do cp "$data/jpg40/photo$i.jpg" "$data/jpg/"; done
  for i in $(seq 1 $NJ); do
    convert "$data/jpg/photo$i.jpg" -resize 66% "$data/png/image$i.png"
    convert "$data/jpg/photo$i.jpg" -resize 66% -type TrueColor "BMP3:$data/bmp/image$i.bmp"
    convert "$data/jpg/photo$i.jpg" -resize 40% -colors 256 "$data/gif/image$i.gif"
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
  tiffcp -c g4 "${args[@]}" "$data/book100.tif"
  rm -rf "$data/g4src"
  mkdir -p "$data/g4"; mv "$data/book100.tif" "$data/g4/"
  mkdir -p "$data/one"; cp "$data/jpg/photo1.jpg" "$data/one/"
  mkdir -p "$data/gifbmp"; cp "$data"/gif/* "$data"/bmp/* "$data/gifbmp/"
}
[ -d "$data/g4" ] || make_data

megapixels() { # total source megapixels of the files given (every page)
  identify -format '%w %h\n' "$@" 2>/dev/null | awk '{s += $1 * $2} END {printf "%.1f", s / 1e6}'
}

results="$root/bench/out/results.txt"
: > "$results"
printf '%-34s %-14s %9s %9s %10s\n' workload tool "wall s" "MP/s" "peak MiB" | tee -a "$results"

measure() { # workload tool mp command...
  local wl=$1 tool=$2 mp=$3; shift 3
  rm -rf "$work"; mkdir -p "$work"
  local t
  # A tool that fails still gets its time printed, marked.
  local status=ok tf; tf=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$tf" bash -c "$*" >/dev/null 2>&1 || status=failed
  local wall kb; read -r wall kb < <(tail -n 1 "$tf"); rm -f "$tf"
  local mps; mps=$(awk -v m="$mp" -v w="$wall" 'BEGIN { printf "%.1f", (w > 0 ? m / w : 0) }')
  printf '%-34s %-14s %9s %9s %10d %s\n' "$wl" "$tool" "$wall" "$mps" $((kb / 1024)) "$([ $status = ok ] || echo '(failed)')" | tee -a "$results"
}

per_file() { # command template with IN and OUT, files...
  local tmpl=$1; shift
  local s=""
  for f in "$@"; do
    local b; b=$(basename "${f%.*}")
    s+="${tmpl//IN/$f}"; s="${s//OUT/$work/$b.tiff}; "
  done
  echo "$s"
}

jpgs=("$data"/jpg/*.jpg); jpg40=("$data"/jpg40/*.jpg); pngs=("$data"/png/*.png)
gifbmp=("$data"/gifbmp/*); g4="$data/g4/book100.tif"; one="$data/one/photo1.jpg"
mp_jpg=$(megapixels "${jpgs[@]}"); mp_40=$(megapixels "${jpg40[@]}"); mp_png=$(megapixels "${pngs[@]}")
mp_gb=$(megapixels "${gifbmp[@]}"); mp_g4=$(megapixels "$g4"); mp_one=$(megapixels "$one")

wl="JPEG -> single TIFFs, LZW"
measure "$wl" quillon "$mp_jpg" "$qc -q -o $work -c lzw $data/jpg"
measure "$wl" imagemagick "$mp_jpg" "$(per_file 'convert IN -compress LZW OUT' "${jpgs[@]}")"
measure "$wl" graphicsmagick "$mp_jpg" "$(per_file 'gm convert IN -compress LZW OUT' "${jpgs[@]}")"
measure "$wl" vips "$mp_jpg" "$(per_file 'vips tiffsave IN OUT --compression lzw --predictor horizontal' "${jpgs[@]}")"

wl="JPEG -> single TIFFs, none"
measure "$wl" quillon "$mp_jpg" "$qc -q -o $work -c none $data/jpg"
measure "$wl" "quillon-nosync" "$mp_jpg" "$qc_nosync -q -o $work -c none $data/jpg"
measure "$wl" imagemagick "$mp_jpg" "$(per_file 'convert IN -compress None OUT' "${jpgs[@]}")"
measure "$wl" graphicsmagick "$mp_jpg" "$(per_file 'gm convert IN -compress None OUT' "${jpgs[@]}")"
measure "$wl" vips "$mp_jpg" "$(per_file 'vips tiffsave IN OUT' "${jpgs[@]}")"

wl="$NC JPEGs -> one multi-page LZW"
measure "$wl" quillon "$mp_40" "$qc -q -o $work -m combine -n all -c lzw $data/jpg40"
measure "$wl" "quillon-nosync" "$mp_40" "$qc_nosync -q -o $work -m combine -n all -c lzw $data/jpg40"
measure "$wl" imagemagick "$mp_40" "convert ${jpg40[*]} -compress LZW $work/all.tiff"
measure "$wl" graphicsmagick "$mp_40" "gm convert ${jpg40[*]} -compress LZW $work/all.tiff"
measure "$wl" vips "$mp_40" "vips arrayjoin '${jpg40[*]}' $work/tall.v --across 1 && vips tiffsave $work/tall.v $work/all.tiff --page-height $H --compression lzw --predictor horizontal"

wl="PNG -> PackBits"
measure "$wl" quillon "$mp_png" "$qc -q -o $work -c packbits $data/png"
measure "$wl" imagemagick "$mp_png" "$(per_file 'convert IN -compress RLE OUT' "${pngs[@]}")"
measure "$wl" graphicsmagick "$mp_png" "$(per_file 'gm convert IN -compress RLE OUT' "${pngs[@]}")"
measure "$wl" vips "$mp_png" "$(per_file 'vips tiffsave IN OUT --compression packbits' "${pngs[@]}")"

wl="100-page G4 -> G4"
measure "$wl" quillon "$mp_g4" "$qc -q -o $work -c g4 $data/g4"
measure "$wl" imagemagick "$mp_g4" "convert $g4 -compress Group4 $work/book100.tiff"
measure "$wl" graphicsmagick "$mp_g4" "gm convert $g4 -compress Group4 $work/book100.tiff"
measure "$wl" vips "$mp_g4" "vips tiffsave '$g4[n=-1]' $work/book100.tiff --compression ccittfax4 --bitdepth 1 --page-height 3508"
measure "$wl" tiffcp "$mp_g4" "tiffcp -c g4 $g4 $work/book100.tiff"

wl="colour JPEG -> G4"
measure "$wl" quillon "$mp_one" "$qc -q -o $work -c g4 $one"
measure "$wl" imagemagick "$mp_one" "convert $one -colorspace Gray -threshold 50% -compress Group4 $work/photo1.tiff"
measure "$wl" graphicsmagick "$mp_one" "gm convert $one -colorspace Gray -threshold 50% -compress Group4 $work/photo1.tiff"
measure "$wl" vips "$mp_one" "vips colourspace $one $work/g.v b-w && vips relational_const $work/g.v $work/t.v more 127 && vips tiffsave $work/t.v $work/photo1.tiff --compression ccittfax4 --bitdepth 1"

wl="GIF and BMP -> LZW"
measure "$wl" quillon "$mp_gb" "$qc -q -o $work -c lzw $data/gifbmp"
measure "$wl" imagemagick "$mp_gb" "$(per_file 'convert IN -compress LZW OUT' "${gifbmp[@]}")"
measure "$wl" graphicsmagick "$mp_gb" "$(per_file 'gm convert IN -compress LZW OUT' "${gifbmp[@]}")"
measure "$wl" vips "$mp_gb" "$(per_file 'vips tiffsave IN OUT --compression lzw' "${gifbmp[@]}")"

echo "Results saved in $results"

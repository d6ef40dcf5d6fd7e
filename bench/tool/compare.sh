#!/usr/bin/env bash
# Times the batch tool's whole run (read, enlarge, write) against a plain OpenCV
# program doing the same, side by side, writing BMP and JPEG (the OpenCV program
# writes its JPEG with TurboJPEG at quality 100, 4:4:4, accurate DCT, as the
# tool does). Prints median wall times, the median ratio and peak memory.
#   bench/tool/compare.sh [build-dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-7}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v convert >/dev/null || { echo "needs ImageMagick's convert" >&2; exit 1; }
[ -x "$build/bench/opencv-enlarge" ] || { echo "needs $build/bench/opencv-enlarge (OpenCV)" >&2; exit 1; }
convert -size 640x480 plasma:fractal -depth 8 "BMP3:$work/small.bmp"
convert -size 4000x3000 plasma:fractal -depth 8 "BMP3:$work/large.bmp"

for c in "small.bmp 10 bmp" "large.bmp 2 bmp" "small.bmp 10 jpg" "large.bmp 2 jpg"; do
  set -- $c
  echo "== $1 at $2 to $3, $runs runs"
  python3 "$here/../measure.py" "$runs" \
    "opencv=$build/bench/opencv-enlarge $2 $work/$1 $work/out-o.$3" \
    "velmora=$build/bin/velmora-enlarge --ratio $2 $work/$1 $work/out-v.$3"
done

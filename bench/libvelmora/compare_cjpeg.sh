#!/usr/bin/env bash
# ConvertBMPtoJPG's whole call against libjpeg-turbo's own cjpeg (one thread)
# at the same settings, side by side on the same bitmaps: the 6400 x 4800
# result of a 640 x 480 photo at 10.0 and the 19999 x 14999 result of a
# 4000 x 3000 photo at 5.0 (a 900 MB bitmap). Ours runs with every core, then
# forced to 1 and to 2 threads. Prints median wall times, the median ratio to
# cjpeg and each command's peak resident memory.
#   bench/libvelmora/compare_cjpeg.sh [build-dir] [runs]
# Needs cjpeg (libjpeg-turbo-progs), ImageMagick's convert and python3; the
# bitmaps (1 GB) go to a folder on disk, as the program's temporary bitmap does.
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /var/tmp/velmora-cjpeg-XXXXXX)
trap 'rm -rf "$work"' EXIT
for tool in cjpeg convert python3; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

convert -size 640x480 plasma:fractal -depth 8 "BMP3:$work/photo-small.bmp"
convert -size 4000x3000 plasma:fractal -depth 8 "BMP3:$work/photo-large.bmp"
"$build/bin/velmora-enlarge" --ratio 10 "$work/photo-small.bmp" "$work/6400x4800.bmp"
"$build/bin/velmora-enlarge" --ratio 5 "$work/photo-large.bmp" "$work/19999x14999.bmp"

for bitmap in 6400x4800 19999x14999; do
  src=$work/$bitmap.bmp
  echo "== $bitmap ($(( $(stat -c %s "$src") / 1000000 )) MB bitmap), $runs runs"
  convert_call="$build/bench/velmora-convert $src $work/ours.jpg"
  python3 "$here/../measure.py" "$runs" \
    "cjpeg=cjpeg -quality 100 -sample 1x1 -dct int -outfile $work/cjpeg.jpg $src" \
    "velmora=$convert_call" \
    "velmora-1thr=VELMORA_THREADS=1 $convert_call" \
    "velmora-2thr=VELMORA_THREADS=2 $convert_call"
  echo "files: cjpeg $(stat -c %s "$work/cjpeg.jpg") bytes, velmora $(stat -c %s "$work/ours.jpg") bytes"
  djpeg -ppm "$work/cjpeg.jpg" | cmp -s - <(djpeg -ppm "$work/ours.jpg") &&
    echo "pixels: identical when decoded" || echo "pixels: DIFFERENT when decoded"
done

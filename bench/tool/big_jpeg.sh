#!/usr/bin/env bash
# The batch tool writing a 39999 x 29999 JPEG (a 4000 x 3000 photo at 10.0,
# 1.2 gigapixels): wall time and peak resident memory of the whole run, then a
# full decode of the file with djpeg to show that it reads. Needs about 3 GB of
# disk in the temporary folder for the JPEG.
#   bench/tool/big_jpeg.sh [build-dir]
set -euo pipefail
build=$(realpath "${1:-build}")
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /var/tmp/velmora-big-XXXXXX)
trap 'rm -rf "$work"' EXIT
convert -size 4000x3000 plasma:fractal -depth 8 "BMP3:$work/photo.bmp"
python3 "$here/../measure.py" 1 "velmora=$build/bin/velmora-enlarge --ratio 10 $work/photo.bmp $work/big.jpg"
echo "file: $(stat -c %s "$work/big.jpg") bytes"
# A PPM of the full size is its 19-byte header "P6\n39999 29999\n255\n" and the pixels.
decoded=$(djpeg -ppm "$work/big.jpg" | wc -c)
expected=$(( 39999 * 29999 * 3 + 19 ))
[ "$decoded" -eq "$expected" ] && echo "decodes whole: $decoded bytes of PPM" ||
  { echo "decoded $decoded bytes, expected $expected" >&2; exit 1; }

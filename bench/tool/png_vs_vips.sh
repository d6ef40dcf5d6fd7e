#!/usr/bin/env bash
# The batch tool's PNG save of a 75-megapixel result (a 1000 x 750 photo-like
# JPEG at 10.0: 9999 x 7499) against libvips writing the same result as PNG
# at its defaults (compression 6, no filter), side by side in one run. The
# result is written once by the tool as a bitmap and turned into a .v file,
# which vips maps without decoding. Prints the median wall times with their
# ratio (vips's time over ours) and peak memory, the two files' sizes and
# their ratio, and checks that our PNG holds the result's pixels.
#   bench/tool/png_vs_vips.sh [build-dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /var/tmp/velmora-png-XXXXXX)
trap 'rm -rf "$work"' EXIT
for tool in convert vips; do
  command -v $tool >/dev/null || { echo "needs $tool (imagemagick, libvips-tools)" >&2; exit 1; }
done
tool=$build/bin/velmora-enlarge
convert -seed 7 -size 1000x750 plasma:fractal -depth 8 -quality 92 "$work/photo.jpg"
"$tool" --ratio 10 "$work/photo.jpg" "$work/result.bmp"
vips copy "$work/result.bmp" "$work/result.v"
rm "$work/result.bmp"

echo "== 9999 x 7499 PNG, $runs runs (ratio: vips's time over ours)"
python3 "$here/../measure.py" "$runs" \
  "velmora=$tool --ratio 10 $work/photo.jpg $work/ours.png" \
  "vips=vips copy $work/result.v $work/vips.png"
ours=$(stat -c %s "$work/ours.png")
theirs=$(stat -c %s "$work/vips.png")
echo "file: ours $ours bytes, vips $theirs bytes, ours/vips $(python3 -c "print(f'{$ours / $theirs:.3f}')")"
"$build/bench/check-png-rows" "$work/photo.jpg" 10 "$work/ours.png" 1

#!/usr/bin/env bash
# The batch tool over a folder of 1,000 photos of 640 x 480 enlarged at 2.0:
# files side by side (the default --jobs) against one at a time (--jobs 1),
# and against vips resize run once per file, two at a time with xargs -P2
# (libvips-tools), writing JPEG at the tool's quality (100, no chroma
# subsampling). vips's kernel is not ours: it is the yardstick for throughput
# only. Prints median wall times, the median ratio to the side-by-side run
# (above 1: slower) and peak memory.
#   bench/tool/batch.sh [build-dir] [runs]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-3}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v convert >/dev/null || { echo "needs ImageMagick's convert" >&2; exit 1; }
command -v vips >/dev/null || { echo "needs vips (package libvips-tools)" >&2; exit 1; }

# Twenty different photos, each copied fifty times.
mkdir "$work/in" "$work/vips"
for i in $(seq 1 20); do
  convert -size 640x480 -seed "$i" plasma:fractal -depth 8 -quality 90 "$work/seed$i.jpg"
done
for i in $(seq 0 999); do
  cp "$work/seed$((i % 20 + 1)).jpg" "$(printf '%s/in/photo%04d.jpg' "$work" "$i")"
done

tool=$build/bin/velmora-enlarge
echo "== 1000 photos of 640 x 480 at 2.0 to JPEG, $runs runs"
python3 "$here/../measure.py" "$runs" \
  "side-by-side=$tool --ratio 2 --quiet --output-dir $work/side $work/in" \
  "one-at-a-time=$tool --ratio 2 --jobs 1 --quiet --output-dir $work/one $work/in" \
  "vips-xargs-P2=sh -c 'cd $work/in && ls | xargs -P2 -I{} vips resize {} \"$work/vips/{}[Q=100,subsample_mode=off]\" 2'"

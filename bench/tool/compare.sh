#!/usr/bin/env bash
# Times the batch tool's whole run (read, enlarge, write BMP) against a plain
# OpenCV program doing the same, side by side, and prints the best of N runs.
#   bench/tool/compare.sh [build-dir] [runs]
set -euo pipefail
build=${1:-build}
runs=${2:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v convert >/dev/null || { echo "needs ImageMagick's convert" >&2; exit 1; }
convert -size 640x480 plasma:fractal -depth 8 "BMP3:$work/small.bmp"
convert -size 4000x3000 plasma:fractal -depth 8 "BMP3:$work/large.bmp"

best() { # best wall time in ms of a command over $runs runs
  local best=999999
  for _ in $(seq "$runs"); do
    local t0 t1
    t0=$(date +%s%N); "$@" >/dev/null; t1=$(date +%s%N)
    local ms=$(( (t1 - t0) / 1000000 ))
    (( ms < best )) && best=$ms
  done
  echo "$best"
}

printf '%-22s %12s %12s %8s\n' case velmora-ms opencv-ms ratio
for c in "small.bmp 10" "large.bmp 2"; do
  set -- $c
  ours=$(best "$build/bin/velmora-enlarge" --ratio "$2" "$work/$1" "$work/out-v.bmp")
  if [ -x "$build/bench/opencv-enlarge" ]; then
    theirs=$(best "$build/bench/opencv-enlarge" "$2" "$work/$1" "$work/out-o.bmp")
    printf '%-22s %12s %12s %8s\n' "$1 at $2" "$ours" "$theirs" \
      "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2f", a / b }')"
  else
    printf '%-22s %12s %12s\n' "$1 at $2" "$ours" "-"
  fi
done

#!/usr/bin/env bash
# The Dask example (python/examples/dask_enlarge.py: a LocalCluster of two
# worker processes, one task per file) against the batch tool (-r, files side
# by side) over the same folder tree of 200 photo-like JPEGs at 2.0, side by
# side in one run. Both whole runs are timed, the cluster's start included;
# then the same work on a cluster already up (dask_started.py). Prints the
# median wall times and the ratios (above 1: slower than the tool), and checks
# that the two trees hold the same bytes.
#   bench/python/dask_vs_tool.sh [build-dir] [runs] [WxH]
set -euo pipefail
build=$(realpath "${1:-build}")
runs=${2:-5}
size=${3:-1600x1200}
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /var/tmp/velmora-dask-XXXXXX)
trap 'rm -rf "$work"' EXIT
for i in $(seq 1 10); do
  convert -size "$size" -seed "$i" plasma:fractal -depth 8 -quality 92 "$work/seed$i.jpg"
done
for i in $(seq 0 199); do
  mkdir -p "$work/photos/$((i / 50))"
  cp "$work/seed$((i % 10 + 1)).jpg" "$work/photos/$((i / 50))/p$i.jpg"
done
echo "== 200 JPEGs of $size at 2.0 in 4 folders, $runs runs (ratio: time over the tool's)"
/usr/bin/python3 "$here/../measure.py" "$runs" \
  "tool=$build/bin/velmora-enlarge --ratio 2 --quiet -r --output-dir $work/tool $work/photos" \
  "dask=PYTHONPATH=$build/python /usr/bin/python3 $here/../../python/examples/dask_enlarge.py --quiet --workers 2 --ratio 2 $work/photos $work/dask"
diff -r "$work/tool" "$work/dask" >/dev/null && echo "the two trees hold the same bytes"
PYTHONPATH=$build/python /usr/bin/python3 "$here/dask_started.py" "$build/bin/velmora-enlarge" \
  "$work/photos" "$runs"

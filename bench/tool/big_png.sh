#!/usr/bin/env bash
# The batch tool writing a 69999 x 49999 PNG (a 7000 x 5000 photo-like JPEG
# at 10.0, 3.5 gigapixels): wall time and peak resident memory of the whole
# run, inside a memory cgroup of 2 GiB where the machine has cgroup v1 and
# this runs as root; then the file read back row by row, sampled rows
# compared with the result made afresh (a whole decode would need 14 GB).
# Needs a few GB of disk in /var/tmp.
#   bench/tool/big_png.sh [build-dir]
set -euo pipefail
build=$(realpath "${1:-build}")
work=$(mktemp -d /var/tmp/velmora-bigpng-XXXXXX)
group=/sys/fs/cgroup/memory/velmora2g
cleanup() {
  rm -rf "$work"
  [ -d "$group" ] && rmdir "$group" 2>/dev/null || true
}
trap cleanup EXIT
convert -seed 7 -size 7000x5000 plasma:fractal -depth 8 -quality 92 "$work/photo.jpg"
run=("$build/bin/velmora-enlarge" --ratio 10 "$work/photo.jpg" "$work/big.png")
if [ "$(id -u)" = 0 ] && [ -d /sys/fs/cgroup/memory ] && mkdir -p "$group" 2>/dev/null; then
  echo $((2 << 30)) >"$group/memory.limit_in_bytes"
  echo "in a memory cgroup of 2 GiB"
  /usr/bin/time -f "wall %e s, peak %M KB" sh -c "echo \$\$ >$group/cgroup.procs && exec \"\$@\"" sh "${run[@]}"
else
  echo "no memory cgroup here: peak memory only"
  /usr/bin/time -f "wall %e s, peak %M KB" "${run[@]}"
fi
echo "file: $(stat -c %s "$work/big.png") bytes"
pngcheck -q "$work/big.png" && echo "pngcheck: no errors"
"$build/bench/check-png-rows" "$work/photo.jpg" 10 "$work/big.png"

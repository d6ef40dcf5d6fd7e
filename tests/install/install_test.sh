#!/usr/bin/env bash
# cmake --install into a temporary prefix puts everything where a Linux user
# expects it, and the installed batch tool finds its conversion library there.
set -euo pipefail
build=$1
libdir=$2
prefix=$(mktemp -d)
work=$(mktemp -d)
trap 'rm -rf "$prefix" "$work"' EXIT

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/velmora bin/velmora-enlarge "$libdir/libvelmora.so.1" \
         share/applications/velmora.desktop \
         share/icons/hicolor/scalable/apps/velmora.svg \
         share/icons/hicolor/32x32/apps/velmora.png; do
  [ -e "$prefix/$f" ] || { echo "install: $f is missing"; exit 1; }
done
# The file manager offers "Open with velmora" for bitmaps and JPEGs and passes
# the file on the command line.
entry="$prefix/share/applications/velmora.desktop"
for field in 'Exec=velmora %f' 'MimeType=image/bmp;image/jpeg;'; do
  grep -qxF "$field" "$entry" || { echo "install: the desktop entry lacks $field"; exit 1; }
done
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$entry"; fi

# A picture to enlarge: a 24-bit bitmap of 3 x 2 pixels; at 4.0 it becomes
# 11 x 7, rows of 33 bytes padded to 36.
printf 'BM\x4e\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x18\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00\x00\x00\x00\xff\xff\xff\x80\x80\x80\x00\x00\x00' > "$work/in.bmp"

# The JPEG goes through the installed library; the build tree is out of reach.
env -u LD_LIBRARY_PATH "$prefix/bin/velmora-enlarge" --ratio 4 "$work/in.bmp" "$work/out.jpg"
head -c 3 "$work/out.jpg" | od -An -tx1 | grep -q 'ff d8 ff' || { echo "install: no JPEG written"; exit 1; }
"$prefix/bin/velmora-enlarge" --ratio 4 "$work/in.bmp" "$work/out.bmp"
[ "$(stat -c %s "$work/out.bmp")" -eq $((54 + 36 * 7)) ] || { echo "install: wrong bitmap size"; exit 1; }
echo "install: 1 passed, 0 failed"

#!/usr/bin/env bash
# cmake --install into a temporary prefix puts everything where a Linux user
# and a developer expect it, and what it puts there works from there: the
# programs, the library with its SONAME, header, pkg-config and CMake files,
# the desktop data and the manual pages (tree.sh).
#
# usage: install_test.sh BUILD VERSION LIBDIR
set -euo pipefail
build=$1
source "$(dirname "$0")/tree.sh"
start_test install "$build"
prefix=$scratch

cmake --install "$build" --prefix "$prefix" >/dev/null
check_tree "$prefix" "" "$2" "$3"

# The desktop entry offers "Open with velmora" for bitmaps and JPEGs and
# passes the file on the command line.
entry="$prefix/share/applications/velmora.desktop"
for field in 'Exec=velmora %f' 'MimeType=image/bmp;image/jpeg;'; do
  grep -qxF "$field" "$entry" || fail "the desktop entry lacks $field"
done

# install_manifest.txt lists every file installed, so that removing the files
# it lists (as the README says) leaves nothing behind but empty folders.
xargs -d '\n' rm -f <"$build/install_manifest.txt"
left=$(find "$prefix" -not -type d)
[ -z "$left" ] || fail "left after removing the manifest's files: $left"
echo "install: 1 passed, 0 failed"

# Checks shared by the install test and the package test, sourced by both:
# an installed tree holds what the project installs, and what it holds works
# for a user and for a program built against the library.
#
# check_tree PREFIX SYSROOT VERSION LIBDIR, after start_test
#   PREFIX   the folder installed into, as it lies here (/tmp/x/usr)
#   SYSROOT  "" for a tree used where it lies; the folder a package was unpacked
#            into, whose files name the prefix it will have (/usr)
#   VERSION  the project's version; LIBDIR the library folder below PREFIX

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fail() {
  echo "$test_name: $*"
  exit 1
}

# A 24-bit bitmap of 3 x 2 pixels; at 4.0 it becomes 11 x 7, rows of 33 bytes
# padded to 36.
write_bitmap() {
  printf 'BM\x4e\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00\x03\x00\x00\x00\x02\x00\x00\x00\x01\x00\x18\x00\x00\x00\x00\x00\x18\x00\x00\x00\x13\x0b\x00\x00\x13\x0b\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00\xff\x00\x00\x00\x00\x00\x00\xff\xff\xff\x80\x80\x80\x00\x00\x00' > "$1"
}

# Sets up a test: its name for messages, and two scratch folders, $scratch
# and $work, removed at its end. cmake --install and cpack both write
# BUILD/install_manifest.txt: the one a user's own install left, which the user
# needs to remove that install again, is put back then.
start_test() {
  test_name=$1 manifest=$2/install_manifest.txt
  scratch=$(mktemp -d) work=$(mktemp -d) kept=$(mktemp -d)
  [ ! -e "$manifest" ] || cp "$manifest" "$kept/"
  trap 'if [ -e "$kept/install_manifest.txt" ]; then mv "$kept/install_manifest.txt" "$manifest";
        else rm -f "$manifest"; fi; rm -rf "$scratch" "$work" "$kept"' EXIT
}

check_files() {
  local prefix=$1 libdir=$2 f
  for f in bin/velmora bin/velmora-enlarge \
           "$libdir/libvelmora.so.$version" "$libdir/libvelmora.so.${version%%.*}" \
           "$libdir/libvelmora.so" include/velmora.h "$libdir/pkgconfig/velmora.pc" \
           "$libdir/cmake/velmora/velmoraConfig.cmake" \
           "$libdir/cmake/velmora/velmoraConfigVersion.cmake" \
           "$libdir/cmake/velmora/velmoraTargets.cmake" \
           share/man/man1/velmora.1.gz share/man/man1/velmora-enlarge.1.gz \
           share/man/man3/velmora.3.gz \
           share/applications/velmora.desktop share/icons/hicolor/scalable/apps/velmora.svg \
           share/doc/velmora/copyright share/doc/velmora/changelog.gz; do
    [ -e "$prefix/$f" ] || fail "$f is missing"
  done
  [ -L "$prefix/$libdir/libvelmora.so" ] || fail "libvelmora.so is not a link"
  [ -L "$prefix/$libdir/libvelmora.so.${version%%.*}" ] || fail "libvelmora.so.1 is not a link"
}

check_library() {
  local lib=$1/$2/libvelmora.so.$version soname
  soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
  [ "$soname" = "libvelmora.so.${version%%.*}" ] || fail "the library's SONAME is '$soname'"
  # Only the C interface is exported.
  local exported
  exported=$(nm -D --defined-only "$lib" | awk '$2 == "T" {print $3}' | sort | tr '\n' ' ')
  [ "$exported" = "ConvertBMPtoJPG ConvertPixelsToJPG ConvertRowsToJPG VelmoraEnlarge \
VelmoraEnlargeRect VelmoraEnlargedSize VelmoraStatusText VelmoraVersion " ] ||
    fail "the library exports: $exported"
}

check_icons() {
  local size
  for size in 16 22 24 32 48 64 128 256; do
    file "$1/share/icons/hicolor/${size}x${size}/apps/velmora.png" |
      grep -q "PNG image data, $size x $size," || fail "no $size x $size icon"
  done
}

check_desktop_data() {
  local prefix=$1 said metainfo
  said=$(desktop-file-validate "$prefix/share/applications/velmora.desktop" 2>&1) ||
    fail "desktop-file-validate: $said"
  [ -z "$said" ] || fail "desktop-file-validate: $said"
  metainfo=("$prefix"/share/metainfo/*.metainfo.xml)
  [ ${#metainfo[@]} -eq 1 ] && [ -e "${metainfo[0]}" ] || fail "not one metainfo file"
  appstreamcli validate --pedantic --no-net "${metainfo[0]}" >"$work/appstream.txt" 2>&1 ||
    fail "appstreamcli validate: $(cat "$work/appstream.txt")"
  # What software centres show beyond what the validator requires.
  grep -q "<release version=\"$version\" date=" "${metainfo[0]}" || fail "no release $version"
  grep -q '<content_rating type="oars-1.1"' "${metainfo[0]}" || fail "no content rating"
  [ "$(grep -c '<image>https://.*/main-window.png</image>' "${metainfo[0]}")" -eq 1 ] ||
    fail "no screenshot of the main window"
}

check_manual_pages() {
  local page said
  for page in man1/velmora man1/velmora-enlarge man3/velmora; do
    said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
             "$1/share/man/$page.${page:3:1}.gz" 2>&1 >/dev/null)
    [ -z "$said" ] || fail "man $page: $said"
  done
  zcat "$1/share/man/man1/velmora-enlarge.1.gz" | grep -q 'from 1.1 to 10.0' ||
    fail "the manual page of velmora-enlarge does not give the ratio range"
}

# The programs answer --version without a display, with the project's version.
check_programs() {
  local prefix=$1 program said
  for program in velmora velmora-enlarge; do
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u LD_LIBRARY_PATH "$prefix/bin/$program" --version) ||
      fail "$program --version failed"
    [ "$said" = "$program $version" ] || fail "$program --version says '$said'"
  done
}

# The installed batch tool enlarges into both kinds of output.
check_batch_tool() {
  local prefix=$1
  write_bitmap "$work/in.bmp"
  env -u LD_LIBRARY_PATH "$prefix/bin/velmora-enlarge" --ratio 4 "$work/in.bmp" "$work/out.jpg" ||
    fail "the batch tool wrote no JPEG"
  head -c 3 "$work/out.jpg" | od -An -tx1 | grep -q 'ff d8 ff' || fail "the batch tool's JPEG is not one"
  "$prefix/bin/velmora-enlarge" --ratio 4 "$work/in.bmp" "$work/out.bmp"
  [ "$(stat -c %s "$work/out.bmp")" -eq $((54 + 36 * 7)) ] || fail "wrong bitmap size"
}

# A C program built with pkg-config against the tree converts a bitmap.
check_pkg_config_build() {
  local prefix=$1 sysroot=$2 libdir=$3 flags
  # The system folders count as such only in the real system, not in a tree.
  export PKG_CONFIG_SYSROOT_DIR=$sysroot PKG_CONFIG_LIBDIR=$prefix/$libdir/pkgconfig \
    PKG_CONFIG_ALLOW_SYSTEM_CFLAGS=1 PKG_CONFIG_ALLOW_SYSTEM_LIBS=1
  [ "$(pkg-config --modversion velmora)" = "$version" ] || fail "velmora.pc has another version"
  flags=$(pkg-config --cflags --libs velmora)
  unset PKG_CONFIG_SYSROOT_DIR PKG_CONFIG_LIBDIR PKG_CONFIG_ALLOW_SYSTEM_CFLAGS \
    PKG_CONFIG_ALLOW_SYSTEM_LIBS
  # shellcheck disable=SC2086 # the flags are words
  cc -std=c11 -Wall -Werror -o "$work/convert_bitmap" "$here/convert_bitmap.c" $flags ||
    fail "no program could be built with pkg-config's flags: $flags"
  LD_LIBRARY_PATH=$prefix/$libdir "$work/convert_bitmap" "$work/in.bmp" "$work/pc.jpg" "$version" ||
    fail "the program built with pkg-config did not convert the bitmap"
}

# The same program through find_package(velmora) and velmora::velmora.
check_cmake_package() {
  local prefix=$1 libdir=$2
  mkdir -p "$work/consumer"
  cat >"$work/consumer/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.16)
project(consumer C)
find_package(velmora $version REQUIRED)
add_executable(convert_bitmap $here/convert_bitmap.c)
target_link_libraries(convert_bitmap PRIVATE velmora::velmora)
EOF
  cmake -S "$work/consumer" -B "$work/consumer/build" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=Release >"$work/consumer.log" 2>&1 &&
    cmake --build "$work/consumer/build" >>"$work/consumer.log" 2>&1 ||
    fail "find_package(velmora) did not build: $(tail -20 "$work/consumer.log")"
  env -u LD_LIBRARY_PATH "$work/consumer/build/convert_bitmap" "$work/in.bmp" "$work/cm.jpg" \
    "$version" || fail "the program built with find_package did not convert the bitmap"
}

# The Python module, where it was installed, imports from the tree with the
# tree's library and enlarges an array and a file.
check_python() {
  local prefix=$1 libdir=$2 module
  module=("$prefix"/lib/python3/dist-packages/velmora.cpython-*.so)
  [ -e "${module[0]}" ] || return 0
  [ -e "$prefix/lib/python3/dist-packages/velmora.pyi" ] || fail "velmora.pyi is missing"
  PYTHONPATH=$prefix/lib/python3/dist-packages LD_LIBRARY_PATH=$prefix/$libdir \
    /usr/bin/python3 - "$work/in.bmp" "$work/py.png" "$version" "$prefix" <<'PY' ||
import sys
import numpy as np
import velmora
assert velmora.__file__.startswith(sys.argv[4]), velmora.__file__
assert velmora.__version__ == sys.argv[3], velmora.__version__
assert velmora.enlarge(np.zeros((2, 3, 3), np.uint8), 4.0).shape == (7, 11, 3)
velmora.enlarge_file(sys.argv[1], sys.argv[2], 4.0)
PY
    fail "the installed Python module did not run"
  head -c 4 "$work/py.png" | od -An -c | grep -q 'P   N   G' || fail "the module's PNG is not one"
}

check_tree() {
  local prefix=$1 sysroot=$2 libdir=$4
  version=$3
  check_files "$prefix" "$libdir"
  check_library "$prefix" "$libdir"
  check_icons "$prefix"
  check_desktop_data "$prefix"
  check_manual_pages "$prefix"
  check_programs "$prefix"
  check_batch_tool "$prefix"
  check_pkg_config_build "$prefix" "$sysroot" "$libdir"
  check_cmake_package "$prefix" "$libdir"
  check_python "$prefix" "$libdir"
}

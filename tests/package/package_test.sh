#!/usr/bin/env bash
# cpack -G DEB makes velmora_<version>_amd64.deb whose control data names its
# dependencies (and no maintainer scripts), libvelmora1_<version>_amd64.deb
# with the library and the ldconfig trigger, and
# python3-velmora_<version>_amd64.deb, which depends on that very library and,
# like it, on no Qt package;
# their files, unpacked into one scratch folder, are all the install holds and
# work from there (tree.sh). When lintian is at hand, it reports nothing about
# them but information.
#
# usage: package_test.sh BUILD VERSION LIBDIR
set -euo pipefail
build=$1
version=$2
libdir=$3
source "$(dirname "$0")/../install/tree.sh"
start_test package "$build"
out=$scratch

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 ||
  fail "cpack failed: $(tail -20 "$out/cpack.log")"
deb=$out/velmora_${version}_$(dpkg --print-architecture).deb
pydeb=$out/python3-velmora_${version}_$(dpkg --print-architecture).deb
libdeb=$out/libvelmora${version%%.*}_${version}_$(dpkg --print-architecture).deb
for d in "$deb" "$pydeb" "$libdeb"; do
  [ -e "$d" ] || fail "no $(basename "$d"): $(ls "$out")"
  scripts=$(dpkg-deb --ctrl-tarfile "$d" | tar -t | grep -E 'post|pre' || true)
  [ -z "$scripts" ] || fail "$(basename "$d") has maintainer scripts: $scripts"
done
dpkg-deb -f "$pydeb" Depends | grep -q "libvelmora${version%%.*} (= $version)" ||
  fail "python3-velmora does not depend on libvelmora${version%%.*} $version: $(dpkg-deb -f "$pydeb" Depends)"
dpkg-deb -f "$deb" Depends | grep -q "libvelmora${version%%.*} (= $version)" ||
  fail "velmora does not depend on libvelmora${version%%.*} $version: $(dpkg-deb -f "$deb" Depends)"
# A data user who installs the Python module gets no window system: neither
# it nor the library it needs depends on the program or on anything of Qt.
for d in "$pydeb" "$libdeb"; do
  depends=$(dpkg-deb -f "$d" Depends)
  if printf '%s\n' "$depends" | tr ',' '\n' | grep -Eiq '(^|[ |])(velmora|[^ ]*qt[0-9]?[^ ]*)( |$)'; then
    fail "$(basename "$d") depends on the program or on Qt: $depends"
  fi
done

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora ] || fail "the package is called $(field Package)"
[ "$(field Version)" = "$version" ] || fail "the package's version is $(field Version)"
for needed in libc6 libqt6widgets6 libjpeg62-turbo zlib1g; do
  field Depends | grep -q "\b$needed\b" || fail "Depends lacks $needed: $(field Depends)"
done
dpkg-deb --ctrl-tarfile "$libdeb" | tar -xO ./triggers 2>/dev/null | grep -q ldconfig ||
  fail "the library's package does not run ldconfig"

root=$work/root
for d in "$deb" "$pydeb" "$libdeb"; do
  dpkg-deb -x "$d" "$root"
done
for p in python3-velmora "libvelmora${version%%.*}"; do
  [ -e "$root/usr/share/doc/$p/copyright" ] || fail "$p has no copyright"
done
# Nothing outside /usr, and the changelog and copyright where Debian wants them.
[ "$(ls "$root")" = usr ] || fail "the package installs outside /usr: $(ls "$root")"
check_tree "$root/usr" "$root" "$version" "$libdir"

if command -v lintian >/dev/null; then
  lintian --fail-on error,warning "$deb" "$pydeb" "$libdeb" >"$work/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.txt")"
fi
echo "package: 1 passed, 0 failed"

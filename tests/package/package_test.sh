#!/usr/bin/env bash
# cpack -G DEB makes velmora_<version>_amd64.deb whose control data names its
# dependencies and the ldconfig trigger, and whose files, unpacked into a
# scratch folder, are all the install holds and work from there (tree.sh).
# When lintian is at hand, it reports no error about the package.
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
[ -e "$deb" ] || fail "no $(basename "$deb"): $(ls "$out")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velmora ] || fail "the package is called $(field Package)"
[ "$(field Version)" = "$version" ] || fail "the package's version is $(field Version)"
for needed in libc6 libqt6widgets6 libjpeg62-turbo zlib1g; do
  field Depends | grep -q "\b$needed\b" || fail "Depends lacks $needed: $(field Depends)"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./triggers 2>/dev/null | grep -q ldconfig ||
  fail "the package does not run ldconfig"

root=$work/root
dpkg-deb -x "$deb" "$root"
# Nothing outside /usr, and the changelog and copyright where Debian wants them.
[ "$(ls "$root")" = usr ] || fail "the package installs outside /usr: $(ls "$root")"
check_tree "$root/usr" "$root" "$version" "$libdir"

if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" >"$work/lintian.txt" 2>&1 ||
    fail "lintian: $(cat "$work/lintian.txt")"
fi
echo "package: 1 passed, 0 failed"

#!/usr/bin/env bash
# Each file given, and every library it loads, is free of Qt: no libQt*
# (libQt6Core, libQt6Gui, libQt6DBus, ...) among what ldd lists for it.
#
# usage: noqt_test.sh FILE...
set -uo pipefail
failed=0
for file in "$@"; do
  if [ ! -e "$file" ]; then
    echo "FAIL: $file is not there"
    failed=1
    continue
  fi
  listed=$(ldd "$file") || { echo "FAIL: ldd cannot read $file"; failed=1; continue; }
  # The names of the libraries, before " => ": a path of the build folder
  # may hold anything.
  qt=$(printf '%s\n' "$listed" | awk '{print $1}' | grep -E '(^|/)libQt' || true)
  if [ -n "$qt" ]; then
    echo "FAIL: $(basename "$file") loads Qt:" $qt
    failed=1
  else
    echo "ok: $(basename "$file") loads no Qt"
  fi
done
exit $failed

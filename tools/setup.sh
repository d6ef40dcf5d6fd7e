#!/usr/bin/env bash
# Sets up everything on a Debian 12 machine (as root), builds, and then either
# opens the program ("open") or runs the whole test suite ("test").
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-open}
packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-translations-l10n libturbojpeg0-dev libjpeg62-turbo-dev libjpeg-turbo-progs
  zlib1g-dev pngcheck libpng-dev libtiff-dev libwebp-dev libgif-dev libvips-tools
  libgtest-dev libgmock-dev libbenchmark-dev
  fonts-ipafont-gothic
  xvfb xauth xdotool x11-utils imagemagick python3
  clang-14 libclang-rt-14-dev
  librsvg2-bin
  qt6-image-formats-plugins
  dpkg-dev file lintian appstream desktop-file-utils man-db universal-ctags
  python3-dev pybind11-dev python3-numpy python3-pil python3-distributed python3-opencv
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$jobs"

case "$mode" in
  open)
    exec build/bin/velmora
    ;;
  test)
    # The unit tests once more, built with AddressSanitizer and
    # UndefinedBehaviorSanitizer (not the end-to-end, install and package
    # tests, which run what a user would run); then the whole suite on the
    # real build last.
    cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVELMORA_SANITIZE=ON -DVELMORA_BENCH=OFF -DVELMORA_PYTHON=OFF
    cmake --build build-asan -j"$jobs"
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
      LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE '^(e2e|install|package)$'
    ctest --test-dir build --output-on-failure -j"$jobs"
    ;;
  *)
    echo "usage: tools/setup.sh open|test" >&2
    exit 2
    ;;
esac

#!/usr/bin/env bash
# Regenerates the README's screenshots from the real program under Xvfb: the
# end-to-end suite drives it through the typical use and keeps what it saw.
#   tools/screenshots.sh [build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target e2e_tests velmora velmora-enlarge velmora_conv
mkdir -p docs/screenshots
VELMORA_E2E_SHOTS=$PWD/docs/screenshots "$build/tests/e2e_tests"
ls -l docs/screenshots

#!/bin/bash
# The user's guide's screenshots (docs/guide/img/*.png) from the real windows:
# builds the helper that drives them and runs it on an Xvfb display of
# 1280 × 800. Not part of the tests; run it after a change to a window the
# guide shows.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${MDV_BUILD_DIR:-$root/build}
cmake --build "$build" -j2 --target mdv_guide_shots
mkdir -p "$root/docs/guide/img"
xvfb-run -a -s "-screen 0 1280x800x24" "$build/mdv_guide_shots" "$root/docs/guide/img"

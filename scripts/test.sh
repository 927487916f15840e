#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: the
# regular build, then the core and batch tool under ASan + UBSan, then each
# fuzzer for a bounded time (MDV_FUZZ_SECONDS, default 60), then the Debian
# package (MDV_SKIP_PACKAGE_TEST=1 skips its clean-root installation).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
echo "== sanitizer build (ASan + UBSan)" >&2
bash scripts/sanitize.sh
echo "== fuzzing" >&2
bash scripts/fuzz.sh
echo "== Debian package" >&2
bash scripts/package_test.sh

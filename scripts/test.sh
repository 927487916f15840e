#!/usr/bin/env bash
# Installs what is missing (deps.sh test: more than the run command needs),
# builds everything, and runs every test through CTest: the regular build,
# then the core and batch tool under ASan + UBSan, then each fuzzer for a
# bounded time (MDV_FUZZ_SECONDS, default 60), then the Debian package, then
# the run command on a clean Debian 12 root (MDV_SKIP_CLEAN_ROOT=1 skips the
# clean roots of the last two).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh test
bash scripts/build.sh
ctest --test-dir build --output-on-failure -j"$(nproc)"
echo "== sanitizer build (ASan + UBSan)" >&2
bash scripts/sanitize.sh
echo "== fuzzing" >&2
bash scripts/fuzz.sh
echo "== Debian package" >&2
bash scripts/package_test.sh
echo "== the run command on a clean Debian 12 root" >&2
bash scripts/run_command_test.sh

#!/usr/bin/env bash
# Installs what is missing, builds, and starts the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
bash scripts/build.sh
if [ -x build/rinfet-mdv ]; then
  exec build/rinfet-mdv "$@"
fi
exec build/rinfet-mdv-batch run "$@"

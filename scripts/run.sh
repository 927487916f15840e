#!/usr/bin/env bash
# Installs what building and running the program needs and is missing
# (deps.sh run), builds rinfet-mdv and rinfet-mdv-batch (build.sh run), and
# starts the program. The second time nothing is installed or rebuilt.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
bash scripts/build.sh run
echo "Запуск: build/rinfet-mdv" >&2
exec build/rinfet-mdv "$@"

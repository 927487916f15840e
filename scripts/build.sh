#!/usr/bin/env bash
# Configures and builds into build/ (incremental; quick when nothing changed).
#   build.sh        everything: the programs, the tests, the benchmarks
#   build.sh run    only rinfet-mdv and rinfet-mdv-batch; a first configure
#                   leaves the tests and benchmarks out, whose packages only
#                   deps.sh test installs (build.sh turns them on again)
# CMake's and the compiler's output go to build/configure.log and
# build/build.log and are shown only when a step fails.
set -euo pipefail
cd "$(dirname "$0")/.."
case ${1:-all} in
  run) targets=(--target rinfet-mdv rinfet-mdv-batch) ;;
  all) targets=() ;;
  *) echo "usage: build.sh [run]" >&2; exit 2 ;;
esac

printf 'Сборка… ' >&2
started=$SECONDS
configure=()
if [ ! -f build/Makefile ]; then
  configure=(-DCMAKE_BUILD_TYPE=Release)
  [ ${#targets[@]} -eq 0 ] || configure+=(-DMDV_BUILD_TESTS=OFF -DMDV_BUILD_BENCHMARKS=OFF)
fi
if [ ${#targets[@]} -eq 0 ] &&
   ! { grep -qx 'MDV_BUILD_TESTS:BOOL=ON' build/CMakeCache.txt &&
       grep -qx 'MDV_BUILD_BENCHMARKS:BOOL=ON' build/CMakeCache.txt; } 2>/dev/null; then
  configure+=(-DMDV_BUILD_TESTS=ON -DMDV_BUILD_BENCHMARKS=ON)
fi
mkdir -p build
if [ ${#configure[@]} -gt 0 ] && ! cmake -S . -B build "${configure[@]}" >build/configure.log 2>&1; then
  echo "не удалась (cmake):" >&2
  cat build/configure.log >&2
  exit 1
fi
if ! cmake --build build -j"$(nproc)" "${targets[@]}" >build/build.log 2>&1; then
  echo "не удалась:" >&2
  grep -v -E '^\[ *[0-9]+%\] ' build/build.log >&2 || true  # all but make's progress lines
  exit 1
fi
echo "$((SECONDS - started)) с" >&2

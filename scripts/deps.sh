#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those missing.
set -euo pipefail
pkgs=(g++ cmake make libgtest-dev libbenchmark-dev libcli11-dev qt6-base-dev
      qt6-charts-dev libqt6opengl6-dev qt6-translations-l10n fonts-dejavu-core
      xvfb xauth xdotool imagemagick clang libclang-rt-14-dev
      libxsimd-dev libopenblas-dev liblapacke-dev libfftw3-dev libtomlplusplus-dev nlohmann-json3-dev
      slurm-wlm munge parallel gnuplot-nox python3-vtk9
      debootstrap lintian desktop-file-utils dpkg-dev fakeroot file man-db librsvg2-bin)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

#!/usr/bin/env bash
# The Debian 12 packages, one list per purpose, and their installation:
#   deps.sh run           what building and running rinfet-mdv and
#                         rinfet-mdv-batch needs (scripts/run.sh)
#   deps.sh test          run's and what the tests, the sanitizer and fuzzing
#                         builds, the benchmarks and the Debian package need
#                         (scripts/test.sh)
#   deps.sh --list WHICH  prints the list of run or test, one package a line
# Installs only those missing (as root); apt's output is shown only when it fails.
set -euo pipefail

run_packages=(
  g++ cmake make
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev
  qt6-translations-l10n fonts-dejavu-core  # Qt's Russian texts; the window's font
  libcli11-dev                             # the batch tool's command line
  libxsimd-dev libopenblas-dev liblapacke-dev  # the double path
  libfftw3-dev nlohmann-json3-dev libtomlplusplus-dev  # spectra; averages files; study files
  gnuplot-nox                              # the plots of "study collect"
  libdxflib-dev                            # contours to and from CAD (DXF)
)
test_packages=(
  "${run_packages[@]}"
  libgtest-dev libbenchmark-dev
  clang libclang-rt-14-dev                 # the fuzzers
  xvfb xauth xdotool imagemagick           # windows under Xvfb and pictures of them
  slurm-wlm munge parallel python3-vtk9    # studies through Slurm and GNU parallel; .vti read back
  python3-ezdxf                            # exported DXF read back by another reader
  dpkg-dev file fakeroot librsvg2-bin      # cpack -G DEB (dpkg-shlibdeps, file), the PNG icons
  lintian desktop-file-utils man-db debootstrap  # the package's checks and its clean-root installs
)

usage() { echo "usage: deps.sh run|test  or  deps.sh --list run|test" >&2; exit 2; }
list=0
if [ "${1:-}" = --list ]; then list=1; shift; fi
case ${1:-} in
  run) pkgs=("${run_packages[@]}") ;;
  test) pkgs=("${test_packages[@]}") ;;
  *) usage ;;
esac
if [ "$list" -eq 1 ]; then
  printf '%s\n' "${pkgs[@]}"
  exit 0
fi

installed=$(dpkg-query -W -f='${Package} ${Status}\n' "${pkgs[@]}" 2>/dev/null || true)
missing=()
for p in "${pkgs[@]}"; do
  grep -qxF "$p install ok installed" <<<"$installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "Установка пакетов… не нужна, все на месте" >&2
  exit 0
fi

printf 'Установка пакетов (%s)… ' "${missing[*]}" >&2
if [ "$(id -u)" -ne 0 ]; then
  echo "нужны права root (sudo)" >&2
  exit 1
fi
started=$SECONDS
log=$(mktemp /tmp/mdv-apt.XXXXXX)
export DEBIAN_FRONTEND=noninteractive
# dpkg without an fsync per unpacked file: on a clean root 260 packages took
# 207 s instead of 265 s (load 16) and 8 s of system time instead of 13. The
# price: after a crash during the installation, files of the packages it was
# unpacking may be empty (apt-get install --reinstall repairs them).
install_missing() {
  apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=120 \
    -o Dpkg::Options::=--force-unsafe-io "${missing[@]}"
}
# The package lists are fetched again only when there are none from the last
# day, or when apt cannot find or fetch a package with them.
eval "$(apt-config shell lists Dir::State::lists/d)"
lists_recent() {
  [ -n "$(find "${lists:-/var/lib/apt/lists}" -maxdepth 1 -name '*_Packages*' -mmin -1440 \
          -print -quit 2>/dev/null)" ]
}
if { if lists_recent; then install_missing || { apt-get update && install_missing; }
     else apt-get update && install_missing; fi; } >"$log" 2>&1; then
  echo "$((SECONDS - started)) с" >&2
  rm -f "$log"
else
  echo "не удалась; последние строки apt:" >&2
  tail -n 40 "$log" >&2
  rm -f "$log"
  exit 1
fi

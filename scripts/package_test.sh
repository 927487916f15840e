#!/usr/bin/env bash
# Builds the Debian package in build/ (cpack -G DEB) and checks it: its files
# and control fields, the desktop entry (desktop-file-validate), the manual
# pages (man), lintian (no errors), and then installs it on a clean Debian 12
# root made with debootstrap from the mirror of this machine's apt sources
# (scripts/clean_root.sh), where the batch tool must run and the window
# program must start. MDV_SKIP_CLEAN_ROOT=1 skips the clean root (about two minutes).
# Needs root (debootstrap, chroot, mount) and the regular build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clean_root.sh
build=build
passed=0
failed=0
ok() { echo "package: $1: ok" >&2; passed=$((passed + 1)); }
bad() { echo "package: $1: FAILED" >&2; failed=$((failed + 1)); }
# Prints the count and ends the script.
finish() {
  echo "package: $passed passed, $failed failed"
  if [ "$failed" -eq 0 ]; then exit 0; fi
  exit 1
}

# ---- the package ----
rm -f "$build"/rinfet-mdv_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { tail -n 30 "$build/cpack.log" >&2; bad "cpack -G DEB"; finish; }
debs=("$build"/rinfet-mdv_*_amd64.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then bad "one rinfet-mdv_<version>_amd64.deb"; finish; fi
deb=${debs[0]}
echo "== $(basename "$deb") ($(stat -c %s "$deb") bytes)" >&2
ok "cpack -G DEB"

work=$(mktemp -d /tmp/mdv-package.XXXXXX)
root=""
cleanup() {
  rm -rf "$work"
  [ -z "$root" ] || clean_root_remove "$root" || true
}
trap cleanup EXIT
trap 'echo "package: interrupted" >&2; exit 130' INT TERM

contents=$(dpkg-deb --contents "$deb" | awk '{ print $6 }')
missing=()
for f in ./usr/bin/rinfet-mdv ./usr/bin/rinfet-mdv-batch \
         ./usr/share/applications/rinfet-mdv.desktop \
         ./usr/share/icons/hicolor/scalable/apps/rinfet-mdv.svg \
         ./usr/share/icons/hicolor/16x16/apps/rinfet-mdv.png \
         ./usr/share/icons/hicolor/48x48/apps/rinfet-mdv.png \
         ./usr/share/icons/hicolor/256x256/apps/rinfet-mdv.png \
         ./usr/share/man/man1/rinfet-mdv.1.gz ./usr/share/man/man1/rinfet-mdv-batch.1.gz \
         ./usr/share/doc/rinfet-mdv/copyright ./usr/share/doc/rinfet-mdv/changelog.gz \
         ./usr/share/rinfet-mdv/guide/index.html; do
  grep -qxF "$f" <<<"$contents" || missing+=("$f")
done
if [ ${#missing[@]} -eq 0 ]; then ok "contents"; else bad "contents, missing: ${missing[*]}"; fi

info=$(dpkg-deb --info "$deb")
fields_ok=1
for want in '^ Package: rinfet-mdv$' '^ Section: science$' '^ Maintainer: .+<.+@.+>$' \
            '^ Description: .+' '^ Depends: .*libc6.*' '^ Depends: .*libqt6widgets6.*' \
            '^ Depends: .*qt6-translations-l10n.*' '^ Architecture: amd64$'; do
  grep -Eq "$want" <<<"$info" || { echo "package: no control line matching $want" >&2; fields_ok=0; }
done
if [ "$fields_ok" -eq 1 ]; then ok "control fields"; else bad "control fields"; fi

dpkg-deb --extract "$deb" "$work/x"
stripped=1
for b in rinfet-mdv rinfet-mdv-batch; do
  file "$work/x/usr/bin/$b" | grep -q ', stripped' || { echo "package: $b is not stripped" >&2; stripped=0; }
done
if [ "$stripped" -eq 1 ]; then ok "binaries stripped"; else bad "binaries stripped"; fi

if desktop-file-validate "$work/x/usr/share/applications/rinfet-mdv.desktop"; then
  ok "desktop-file-validate"
else
  bad "desktop-file-validate"
fi

man_ok=1
for p in rinfet-mdv rinfet-mdv-batch; do
  page="$work/x/usr/share/man/man1/$p.1.gz"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >"$work/$p.txt") || man_ok=0
  [ -z "$warnings" ] || { echo "package: man $p: $warnings" >&2; man_ok=0; }
  grep -q 'ОПИСАНИЕ' "$work/$p.txt" || { echo "package: man $p shows no Russian text" >&2; man_ok=0; }
done
if [ "$man_ok" -eq 1 ]; then ok "manual pages"; else bad "manual pages"; fi

# lintian warns when run as root; its tags are what counts.
lintian --fail-on error --pedantic --display-info "$deb" >"$work/lintian.txt" 2>&1 && lint=0 || lint=$?
grep -E '^[EWIPX]: ' "$work/lintian.txt" >&2 || true
if [ "$lint" -eq 0 ] && ! grep -q '^E: ' "$work/lintian.txt"; then ok "lintian, no errors"; else bad "lintian"; fi

# ---- installation on a clean Debian 12 root ----
if [ "${MDV_SKIP_CLEAN_ROOT:-0}" = 1 ]; then
  echo "package: clean-root installation skipped (MDV_SKIP_CLEAN_ROOT=1)" >&2
  finish
fi

started=$(date +%s)
root=$(mktemp -d /tmp/mdv-root.XXXXXX)
if ! clean_root_make "$root" "$work/debootstrap.log"; then
  bad "clean Debian 12 root"
  finish
fi
ok "clean Debian 12 root ($(($(date +%s) - started)) s)"

mount -t proc proc "$root/proc"
cp "$deb" "$root/tmp/"
echo "== apt-get install ./$(basename "$deb") in the clean root" >&2
if in_root apt-get update -qq >"$work/apt.log" 2>&1 &&
   in_root apt-get install -y -qq --no-install-recommends "/tmp/$(basename "$deb")" >>"$work/apt.log" 2>&1; then
  ok "apt-get install pulls every dependency"
else
  tail -n 30 "$work/apt.log" >&2
  bad "apt-get install"
  finish
fi

if in_root sh -c 'cd /tmp && rinfet-mdv-batch run --max-time 0.05 --save x.evt' >"$work/run.log" 2>&1 &&
   [ -s "$root/tmp/x.evt" ]; then
  ok "rinfet-mdv-batch run --max-time 0.05 --save x.evt in the clean root"
else
  cat "$work/run.log" >&2
  bad "rinfet-mdv-batch run in the clean root"
fi
# The window program starts (offscreen) and runs until it is stopped.
status=0
in_root sh -c 'cd /tmp && QT_QPA_PLATFORM=offscreen timeout 5 rinfet-mdv' >"$work/gui.log" 2>&1 || status=$?
if [ "$status" -eq 124 ]; then
  ok "rinfet-mdv starts in the clean root"
else
  cat "$work/gui.log" >&2
  bad "rinfet-mdv starts in the clean root (status $status)"
fi
if [ -f "$root/usr/share/qt6/translations/qtbase_ru.qm" ] &&
   [ -f "$root/usr/share/applications/rinfet-mdv.desktop" ] &&
   [ -f "$root/usr/share/icons/hicolor/48x48/apps/rinfet-mdv.png" ]; then
  ok "Qt's Russian texts, desktop entry and icon installed"
else
  bad "Qt's Russian texts, desktop entry and icon installed"
fi
echo "package: clean-root test took $(($(date +%s) - started)) s" >&2
finish

#!/usr/bin/env bash
# The README's run command as a new user meets it: `bash scripts/run.sh` in a
# copy of this work tree on a clean Debian 12 root (scripts/clean_root.sh),
# twice, with the window shown on an Xvfb display of this machine. The first
# time it must install and build and show the main window; none of the test
# command's extra packages may come with it, nor the compiler's output. The
# second time it must install nothing, rebuild nothing and show the window.
# Prints how long each took until the window was up; a picture of it goes
# to build/run_command_window.png. MDV_SKIP_CLEAN_ROOT=1 skips it.
# Needs root, debootstrap, Xvfb and xdotool (deps.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/clean_root.sh
passed=0
failed=0
ok() { echo "run-command: $1: ok" >&2; passed=$((passed + 1)); }
bad() { echo "run-command: $1: FAILED" >&2; failed=$((failed + 1)); }
finish() {
  echo "run-command: $passed passed, $failed failed"
  if [ "$failed" -eq 0 ]; then exit 0; fi
  exit 1
}
if [ "${MDV_SKIP_CLEAN_ROOT:-0}" = 1 ]; then
  echo "run-command: skipped (MDV_SKIP_CLEAN_ROOT=1)" >&2
  finish
fi

title='МДВ - Круглый отсос-раструб'  # the start of the main window's title
work=$(mktemp -d /tmp/mdv-run-command.XXXXXX)
root=""
xvfb_pid=""
run_pid=""
# The run command is started in a session of its own, so that it is stopped
# with whatever it started (apt, the compiler, the program).
stop_run() {
  [ -n "$run_pid" ] || return 0
  kill -- -"$run_pid" 2>/dev/null || true
  wait "$run_pid" 2>/dev/null || true
  run_pid=""
}
cleanup() {
  stop_run
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  [ -z "$root" ] || clean_root_remove "$root" || true
  rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "run-command: interrupted" >&2; exit 130' INT TERM

started=$SECONDS
root=$(mktemp -d /tmp/mdv-root.XXXXXX)
if ! clean_root_make "$root" "$work/debootstrap.log"; then
  bad "clean Debian 12 root"
  finish
fi
ok "clean Debian 12 root ($((SECONDS - started)) s)"

# The work tree's files that git knows or would add, not its builds.
tree=/root/rinfet-mdv
mkdir -p "$root$tree"
git ls-files -z --cached --others --exclude-standard |
  tar --null --ignore-failed-read -T - -cf - | tar -xf - -C "$root$tree"

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -ac 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
if [ ! -s "$work/display" ]; then
  cat "$work/xvfb.log" >&2
  bad "Xvfb started"
  finish
fi
display=":$(head -n 1 "$work/display")"
mount -t proc proc "$root/proc"
mkdir -p "$root/tmp/.X11-unix"
mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"

# Starts the run command in the clean root and waits, at most $2 seconds,
# for its main window; sets `waited` to the seconds it took (one decimal).
# The output goes to $1.
run_until_window() {
  local log=$1 limit=$2 t0 now
  t0=$(date +%s.%N)
  setsid chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 DISPLAY="$display" bash -c "cd $tree && exec bash scripts/run.sh" >"$log" 2>&1 &
  run_pid=$!
  waited=""
  while kill -0 "$run_pid" 2>/dev/null; do
    now=$(date +%s.%N)
    if DISPLAY=$display xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; then
      waited=$(awk -v a="$t0" -v b="$now" 'BEGIN { printf "%.1f", b - a }')
      return 0
    fi
    awk -v a="$t0" -v b="$now" -v l="$limit" 'BEGIN { exit !(b - a > l) }' && break
    sleep 0.5
  done
  return 1
}

# ---- first run: installs, builds, shows the window ----
if run_until_window "$work/first.log" 2400; then
  ok "first run: the window after $waited s"
  first=$waited
  if command -v import >/dev/null; then
    mkdir -p build
    sleep 1
    DISPLAY=$display import -window root build/run_command_window.png 2>/dev/null || true
  fi
else
  cat "$work/first.log" >&2
  bad "first run: the window"
  finish
fi
stop_run
# What it says before the program takes over: a line a stage, no more.
said=$(sed '/^Запуск: /q' "$work/first.log")
stages=1
for line in '^Установка пакетов \(.+\)… [0-9]+ с$' '^Сборка… [0-9]+ с$' '^Запуск: build/rinfet-mdv$'; do
  grep -Eq "$line" <<<"$said" || { echo "run-command: no line matching $line" >&2; stages=0; }
done
if [ "$stages" -eq 1 ] && [ "$(wc -l <<<"$said")" -eq 3 ]; then
  sed 's/^/run-command: first run said: /' <<<"$said" >&2
  ok "first run: one line a stage, nothing else"
else
  cat "$work/first.log" >&2
  bad "first run: one line a stage, nothing else"
fi

# The test command's own packages stay out.
mapfile -t extra < <(comm -13 <(bash scripts/deps.sh --list run | sort) <(bash scripts/deps.sh --list test | sort))
installed=$(in_root dpkg-query -W -f='${Package} ${Status}\n' "${extra[@]}" 2>/dev/null |
            awk '/ install ok installed$/ { print $1 }' || true)
if [ -z "$installed" ]; then
  ok "none of the test command's packages installed"
else
  bad "the test command's packages installed: ${installed//$'\n'/ }"
fi

if in_root sh -c "cd /tmp && $tree/build/rinfet-mdv-batch run --quiet --max-time 0.05 --save x.evt" \
     >"$work/batch.log" 2>&1 && [ -s "$root/tmp/x.evt" ]; then
  ok "the batch tool it built runs"
else
  cat "$work/batch.log" >&2
  bad "the batch tool it built runs"
fi

# ---- second run: nothing to install or build ----
stamps() { stat -c '%Y %n' "$root$tree/build/rinfet-mdv" "$root$tree/build/rinfet-mdv-batch"; }
before=$(stamps)
if run_until_window "$work/second.log" 120; then
  ok "second run: the window after $waited s"
  second=$waited
else
  cat "$work/second.log" >&2
  bad "second run: the window"
fi
stop_run
if grep -q '^Установка пакетов… не нужна' "$work/second.log" && [ "$(stamps)" = "$before" ]; then
  ok "second run: nothing installed, nothing rebuilt"
else
  cat "$work/second.log" >&2
  bad "second run: nothing installed, nothing rebuilt"
fi
echo "run-command: window after ${first:-?} s the first time, ${second:-?} s the second" >&2
finish

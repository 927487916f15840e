# shellcheck shell=bash
# A clean Debian 12 root, as a new machine has it, for the tests that install
# on one (scripts/package_test.sh, scripts/run_command_test.sh). Sourced, not
# run; needs root (debootstrap, chroot, mount).
#   clean_root_make DIR LOG   debootstrap --variant=minbase bookworm into DIR
#                             from the mirror of this machine's apt sources
#   in_root CMD…              CMD inside $root with a bare environment
#                             (NAME=VALUE words before CMD add to it)
#   clean_root_remove DIR     unmounts what is mounted below DIR, removes DIR

# The Debian archive this machine installs from: a deb822 stanza (or a
# one-line entry) whose suites include bookworm; else the first archive named.
mirror_from_apt_sources() {
  local files=()
  shopt -s nullglob
  files=(/etc/apt/sources.list.d/*.sources)
  shopt -u nullglob
  {
    [ ${#files[@]} -eq 0 ] || awk '
      function flush() {
        if (types ~ /(^| )deb( |$)/ && enabled != "no" && uri != "")
          print ((" " suites " ") ~ / bookworm / ? 0 : 1), uri
        types = ""; suites = ""; uri = ""; enabled = ""
      }
      /^[ \t]*$/ { flush(); next }
      /^#/ { next }
      tolower($1) == "types:" { $1 = ""; types = $0 }
      tolower($1) == "suites:" { $1 = ""; suites = $0 }
      tolower($1) == "uris:" { uri = $2 }
      tolower($1) == "enabled:" { enabled = tolower($2) }
      END { flush() }' "${files[@]}"
    cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null | awk '
      $1 == "deb" {
        i = 2
        if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        print ($(i + 1) == "bookworm" ? 0 : 1), $i
      }'
  } | grep -v -- '-security' | sort -s -k1,1n | awk 'NR == 1 { print $2 }'
}

# Says on stderr why, and returns 1, when the root cannot be made.
clean_root_make() {
  local dir=$1 log=$2 mirror proxy=""
  mirror=$(mirror_from_apt_sources || true)
  if [ -z "$mirror" ]; then
    echo "no Debian archive found in /etc/apt/sources.list{,.d}; the clean root cannot be made" >&2
    return 1
  fi
  # A proxy apt is configured with serves debootstrap too.
  eval "$(apt-config shell proxy Acquire::http::Proxy)"
  echo "== debootstrap --variant=minbase bookworm from the machine's apt sources" >&2
  if ! env ${proxy:+"http_proxy=$proxy"} \
       debootstrap --variant=minbase bookworm "$dir" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    echo "the clean Debian 12 root could not be made (debootstrap failed)" >&2
    return 1
  fi
}

in_root() {
  chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive "$@"
}

# Never removes across a mount that could not be undone.
clean_root_remove() {
  local dir=$1 m
  for m in $(awk -v r="$dir/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m" || true
  done
  if awk -v r="$dir/" 'index($2, r) == 1 { found = 1 } END { exit !found }' /proc/mounts; then
    echo "mounts remain under $dir; it is left in place" >&2
    return 1
  fi
  rm -rf --one-file-system "$dir"
}

#!/usr/bin/env bash
# Runs the README's test command (or COMMAND) inside a Debian 13 ("trixie") system, as a user of
# the current Debian stable would: a minimal system made once with debootstrap from the package
# archive this machine's apt already uses, and the project as committed at HEAD cloned fresh into it.
#   usage, as root:  bash scripts/test-debian13.sh [COMMAND…]      default COMMAND: bash scripts/test.sh
# The command sees none of this environment, CI included: the sanitizer build and the fuzzers stay
# on the machine's own release. The system stays in $HALDEN_DEBIAN13_ROOT (default
# /var/cache/halden/debian13) for the next run; delete that folder to start clean. Everything mounted
# for the run is unmounted when it ends, whether it passed, failed or was interrupted.
# Exit status: the command's.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${HALDEN_DEBIAN13_ROOT:-/var/cache/halden/debian13}
project=/root/halden-setup
say() { echo "test-debian13: $*"; }
fail() { say "$*" >&2; exit 2; }
(($#)) || set -- bash scripts/test.sh
[[ $(id -u) -eq 0 ]] || fail "needs root (debootstrap, mounts, chroot)"
# An absolute path without blanks: the mount table quotes blanks, and "/" itself is not a place for it.
[[ $root == /?* && $root != *[[:space:]]* ]] || fail "HALDEN_DEBIAN13_ROOT must be an absolute path without blanks"
root=$(realpath -m "$root")
[[ $root != / ]] || fail "HALDEN_DEBIAN13_ROOT must not be /"

# One run at a time per system.
mkdir -p "$(dirname "$root")"
exec 9>"$root.lock"
flock -n 9 || { say "waiting for another run in $root"; flock 9; }

# Mount points at or below the system, deepest first.
mounts_under() { awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r; }
# Processes whose root is the system: a run's own, left behind or interrupted.
processes_inside() {
  local p
  for p in /proc/[0-9]*; do
    [[ $(readlink "$p/root" 2>/dev/null) == "$root" ]] && echo "${p#/proc/}"
  done
  return 0
}
release() {
  local pids m
  mapfile -t pids < <(processes_inside)
  if ((${#pids[@]})); then
    kill -TERM "${pids[@]}" 2>/dev/null || true
    sleep 2
    mapfile -t pids < <(processes_inside)
    ((${#pids[@]} == 0)) || kill -KILL "${pids[@]}" 2>/dev/null || true
  fi
  for m in $(mounts_under); do umount "$m" 2>/dev/null || umount -l "$m"; done
}
trap release EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP
release # what a killed run may have left

# The archive and the security archive of this machine's own release, as its apt sources name them,
# and how apt reaches them.
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
archive_for() {
  apt-get indextargets --format '$(RELEASE) $(REPO_URI)' 'Identifier: Packages' | awk -v s="$1" '$1 == s { print $2; exit }'
}
mirror=$(archive_for "$codename")
security=$(archive_for "$codename-security")
[[ -n $mirror ]] || fail "no archive for \"$codename\" among this machine's apt sources"
eval "$(apt-config shell http_proxy Acquire::http::Proxy)"
[[ -z ${http_proxy:-} ]] || export http_proxy

# A system is ready once made to the end; an unfinished one is made again, but a folder this script
# did not start is never deleted.
mark="$root/.made-by-test-debian13"
ready="$root/.ready"
if [[ ! -e $ready ]]; then
  if [[ -d $root && ! -e $mark && -n $(ls -A "$root") ]]; then
    fail "$root holds something else; delete it or choose another HALDEN_DEBIAN13_ROOT"
  fi
  command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap >/dev/null
  say "making $root from $mirror (a few minutes, once)"
  rm -rf --one-file-system "$root" # nothing is mounted there: release() saw to it
  mkdir -p "$root"
  touch "$mark"
  log=$(mktemp)
  if ! debootstrap --variant=minbase --include=ca-certificates,git trixie "$root" "$mirror" >"$log" 2>&1; then
    tail -n 20 "$log" >&2
    rm -f "$log"
    fail "debootstrap failed"
  fi
  rm -f "$log"
  rm -f "$root/etc/apt/sources.list"
  {
    printf 'Types: deb\nURIs: %s\nSuites: trixie trixie-updates\nComponents: main\n' "$mirror"
    [[ -z $security ]] || printf '\nTypes: deb\nURIs: %s\nSuites: trixie-security\nComponents: main\n' "$security"
  } >"$root/etc/apt/sources.list.d/debian.sources"
  apt-config dump Acquire::http::Proxy Acquire::https::Proxy Acquire::Check-Valid-Until \
    >"$root/etc/apt/apt.conf.d/50host"
  touch "$ready"
fi
# The machine's name service for apt; a link there could point out of the system.
rm -f "$root/etc/resolv.conf"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# The project as committed, fresh: no build folder of an earlier run.
rm -rf --one-file-system "$root$project"
git init -q "$root$project"
git -C "$root$project" fetch -q "$PWD" HEAD
git -C "$root$project" checkout -q --detach FETCH_HEAD

# The system's / as a mount point of its own, so the tests may make private mount namespaces there;
# a /dev of its own, so nothing run inside can change the machine's devices.
mount --bind "$root" "$root"
mount --make-private "$root"
mount -t proc proc "$root/proc"
mount -o bind,ro /sys "$root/sys"
mount -t tmpfs -o mode=0755,nosuid tmpfs "$root/dev"
for node in null zero full random urandom tty; do
  touch "$root/dev/$node"
  mount --bind "/dev/$node" "$root/dev/$node"
done
mkdir "$root/dev/pts" "$root/dev/shm"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
ln -s pts/ptmx "$root/dev/ptmx"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/dev/shm"
mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs "$root/tmp"

say "Debian $(cat "$root/etc/debian_version"), running: $*"
setsid chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 TERM=dumb \
  /bin/bash -c 'cd "$0" && exec "$@"' "$project" "$@" 9>&- & # the lock is this script's, not theirs
status=0
wait $! || status=$?
exit "$status"

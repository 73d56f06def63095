#!/usr/bin/env bash
# Proves the README on a fresh Debian 12 root: builds a minimal root with this machine's apt sources,
# runs the two quick-start commands in a clean clone there, then installs the Debian package into a
# second fresh root, starts the program from its desktop entry and removes the package again.
# Slow (a whole build on a bare system); not part of the test suite. Run as root:
#   scripts/check-fresh.sh
set -euo pipefail
cd "$(dirname "$0")/.."
project=$(pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-fresh: run as root (it builds root file systems)" >&2; exit 1; }
[ -z "$(git status --porcelain --untracked-files=no)" ] \
  || echo "check-fresh: uncommitted changes are not checked, only $(git rev-parse --short HEAD)" >&2

command -v mmdebstrap >/dev/null \
  || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap

work=$(mktemp -d /tmp/tovari-fresh.XXXXXX)
# The sandboxes' mounts live in their own namespaces, so removing the roots is all the cleaning there is.
trap 'rm -rf "$work"' EXIT

started=$(date +%s)
stage_started=$started
timings=()
Stage() {
  local now
  now=$(date +%s)
  timings+=("$(printf '%-28s %5.1f min' "$1" "$(awk -v s=$((now - stage_started)) 'BEGIN { print s / 60 }')")")
  stage_started=$now
  echo "check-fresh: $1 done" >&2
}

# Runs a command as root inside a root file system: own mount and PID namespaces (everything started
# there ends with the command), /proc and /dev mounted, the environment of a fresh login.
InRoot() {
  local root=$1
  shift
  nice -n 19 unshare --mount --pid --fork --propagation private -- /bin/sh -c '
    root=$1; shift
    mount -t proc proc "$root/proc"
    mount --rbind /dev "$root/dev"
    exec chroot "$root" /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
      HOME=/root LANG=C.UTF-8 TERM=dumb "$@"' sh "$root" "$@"
}

NewRoot() {
  mkdir "$1"
  tar -C "$1" -xf "$work/base.tar"
  cp /etc/resolv.conf "$1/etc/resolv.conf"
}

# The machine's own sources and fetch options (these may point at a snapshot with old Release files).
sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$f" ] && sources+=("$f")
done
aptopts=()
for f in /etc/apt/apt.conf.d/*; do
  settings=$(grep -Ev '^[[:space:]]*(//|#|$)' "$f" || true)
  [ -n "$settings" ] && ! grep -qv '^Acquire::' <<<"$settings" && aptopts+=("--aptopt=$f")
done
mmdebstrap --quiet --mode=root --variant=minbase "${aptopts[@]}" bookworm "$work/base.tar" "${sources[@]}"
Stage "minimal root"

# The quick start, as a new user would type it, in a clean clone.
NewRoot "$work/dev"
git clone --quiet "$project" "$work/dev/root/tovari"
InRoot "$work/dev" /bin/bash -c 'cd /root/tovari && ./scripts/test.sh'
Stage "scripts/test.sh"

# run.sh starts a virtual display :99 when there is none; the program is up once its window is mapped.
InRoot "$work/dev" /bin/bash -c '
  set -e
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends x11-utils >/dev/null
  cd /root/tovari
  ./scripts/run.sh > /tmp/run.log 2>&1 &
  for _ in $(seq 600); do
    DISPLAY=:99 xwininfo -root -tree 2>/dev/null | grep -q "v20080101" && { echo "main window is up"; exit 0; }
    sleep 0.5
  done
  cat /tmp/run.log
  DISPLAY=:99 xwininfo -root -tree
  echo "check-fresh: the main window did not appear" >&2
  exit 1'
Stage "scripts/run.sh"

InRoot "$work/dev" /bin/bash -c 'cd /root/tovari && ./scripts/package.sh'
cp "$work"/dev/root/tovari/build/tovari_*_amd64.deb "$work/"
rm -rf "$work/dev"
Stage "scripts/package.sh"

# The package on a second fresh root: its dependencies alone must carry the program.
NewRoot "$work/user"
cp "$work"/tovari_*_amd64.deb "$work/user/tmp/"
InRoot "$work/user" /bin/bash -c '
  set -e
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends /tmp/tovari_*_amd64.deb
  if ldd /usr/bin/tovari /usr/bin/tovari-shop | grep "not found"; then exit 1; fi
  tovari-shop --version
  apt-get install -y -qq --no-install-recommends xvfb xauth x11-utils desktop-file-utils appstream >/dev/null
  desktop=$(ls /usr/share/applications/*.desktop)
  desktop-file-validate "$desktop"
  appstreamcli validate --no-net /usr/share/metainfo/*.metainfo.xml
  exec=$(sed -n "s/^Exec=//p" "$desktop")
  # Without its shop the program stops at a connection error before its window; the package brings one.
  tovari-shop --quiet > /tmp/tovari-shop.log 2>&1 &
  Xvfb :5 -screen 0 1280x800x24 >/dev/null 2>&1 &
  export DISPLAY=:5
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8931) 2>/dev/null && break; sleep 0.2; done
  $exec > /tmp/tovari.log 2>&1 &
  for _ in $(seq 120); do
    xwininfo -root -tree 2>/dev/null | grep -q "v20080101" && { echo "main window is up from $desktop"; exit 0; }
    sleep 0.5
  done
  cat /tmp/tovari-shop.log /tmp/tovari.log
  xwininfo -root -tree
  echo "check-fresh: the main window did not appear" >&2
  exit 1'
InRoot "$work/user" /bin/bash -c '
  set -e
  apt-get purge -y -qq tovari
  left=$(ls /usr/bin/tovari* /usr/share/applications/*tovari* /usr/share/metainfo/*tovari* \
            /usr/share/icons/hicolor/*/apps/tovari.* 2>/dev/null || true)
  [ -z "$left" ] || { echo "check-fresh: left behind after purge: $left" >&2; exit 1; }
  echo "package removed cleanly"'
Stage "package install and removal"

now=$(date +%s)
echo "check-fresh: PASS ($(git rev-parse --short HEAD))"
printf '  %s\n' "${timings[@]}"
printf '  %-28s %5.1f min\n' "total" "$(awk -v s=$((now - started)) 'BEGIN { print s / 60 }')"

#!/usr/bin/env bash
# Launch to mapped main window: tovari on a first start (guide window shown, start-up requests to the
# demo shop) and on a start with settings, beside a bare Qt main window with a Japanese menu that loads
# the same Qt translations, on one private X server; run after scripts/build.sh. Goal: at most 1.2 x
# the bare window. A last row starts the bare window with the program's libraries loaded: what loading
# them costs before any of the program's own code runs.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
# The shop keeps its data in memory where it can: each start makes a session, and a commit that waits for
# the disk's sync (26 ms on a virtual disk) is the server's cost, not the program's.
shopdata=$(mktemp -d -p /dev/shm 2>/dev/null || mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; wait "$p" 2>/dev/null || true; done
  rm -rf "$work" "$shopdata"
}
trap cleanup EXIT
# The program talks to the service address it was built with, the demo shop's port.
port=$(sed -n 's/^TOVARI_SERVICE_URL:STRING=http:\/\/127.0.0.1:\([0-9]*\).*/\1/p' build/CMakeCache.txt)
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "startup: port $port is taken; stop what listens there first" >&2
  exit 1
fi
mkfifo "$work/ready"
exec 3<>"$work/ready"
build/shop/tovari-shop --data "$shopdata" --port "$port" --quiet > "$work/ready" 2>&1 &
pids+=($!)
until [[ "${line:-}" == *listening* ]]; do
  read -r -t 30 -u 3 line || { echo "startup: the demo shop did not start" >&2; exit 1; }
done
line=""
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 2>"$work/xvfb.log" &
pids+=($!)
until [[ "${line:-}" =~ ^[0-9]+$ ]]; do read -r -t 30 -u 3 line || { echo "startup: Xvfb did not start" >&2; exit 1; }; done
DISPLAY=":$line" build/bench/bench-startup "${1:-20}" build/bench/bench-bare-window build/app/tovari build/bench/bench-bare-window-libs

#!/usr/bin/env bash
# Uploads 100 photos of 5 MB each through the real upload command to tovari-shop on 127.0.0.1, beside
# curl posting the same files in one invocation; run after scripts/build.sh. Goals: at least 0.9 x
# curl's throughput, and a peak resident size no more than 16 MiB above the idle window.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
shop_pid=""
cleanup() {
  if [ -n "$shop_pid" ]; then kill "$shop_pid" 2>/dev/null || true; wait "$shop_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/photos" "$work/shop"
for i in $(seq -w 1 100); do head -c 5242880 /dev/urandom > "$work/photos/IMG_$i.jpg"; done
build/shop/tovari-shop --data "$work/shop" --port 0 --quiet > "$work/shop.log" 2>&1 &
shop_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/shop.log" && break; sleep 0.1; done
url=$(grep -o 'http://[0-9.]*:[0-9]*' "$work/shop.log" | head -1)
build/bench/bench-upload "$url" "$work/photos" "${1:-3}"

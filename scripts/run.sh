#!/usr/bin/env bash
# Sets up, builds and starts tovari, with the demo shop listening on 127.0.0.1:8931 behind it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh

shop_pid=""
if [ -x build/shop/tovari-shop ]; then
  if ! (exec 3<>/dev/tcp/127.0.0.1/8931) 2>/dev/null; then
    build/shop/tovari-shop --port 8931 > build/tovari-shop.log 2>&1 &
    shop_pid=$!
    for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8931) 2>/dev/null && break; sleep 0.1; done
    grep -E 'demo|listening' build/tovari-shop.log || true
  fi
fi
trap '[ -n "$shop_pid" ] && kill "$shop_pid" 2>/dev/null; true' EXIT

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; starting a virtual one (:99) - nothing will be visible" >&2
  Xvfb :99 -screen 0 1280x800x24 >/dev/null 2>&1 &
  xvfb_pid=$!
  trap '[ -n "$shop_pid" ] && kill "$shop_pid" 2>/dev/null; kill "$xvfb_pid" 2>/dev/null; true' EXIT
  export DISPLAY=:99
  sleep 1
fi
build/app/tovari

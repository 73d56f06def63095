#!/usr/bin/env bash
# Lists an album folder of 1,000 photos from tovari-shop on 127.0.0.1 through the real window, cold and
# warm, beside curl fetching the same list and thumbnails on one connection; run after scripts/build.sh.
# Usage: bench/album.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench-album"
[ -x "$bench" ] || { echo "album.sh: build the bench-album target first ($bench)" >&2; exit 1; }
command -v curl >/dev/null || { echo "album.sh: needs the curl tool (scripts/setup.sh installs it)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
"$bench"

#!/usr/bin/env bash
# Decodes a 4000 x 3000 PNG through the PNG plug-in and TSPIBitmap beside Qt's own PNG reader, and a HEIC
# photo of the same size through the HEIC plug-in beside libheif called directly. Goal: ratios <= 1.2, and
# the plug-in path's peak no more than one picture above the direct path's.
# Usage: bench/plugin.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench-plugin"
[ -x "$bench" ] || { echo "plugin.sh: build the bench-plugin target first ($bench)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
"$bench"

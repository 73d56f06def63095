#!/usr/bin/env bash
# Every hostile file (../shared/testdata/hostile, tests/data/hostile), and a 2 GiB sparse file that starts
# like a TIFF, through every picture path with the plug-ins on. Goal: each well under a second, and no
# more resident memory than the file's data can fill (docs/decisions.md, "Cost in proportion to data").
# Usage: bench/hostile.sh [BUILD_DIR]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
bench="$build/bench/bench-hostile"
[ -x "$bench" ] || { echo "hostile.sh: build the bench-hostile target first ($bench)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
printf 'II*\0\010\0\0\0' > "$work/sparse-2gib.tif"
truncate -s 2G "$work/sparse-2gib.tif"
files=()
for f in ../shared/testdata/hostile/* tests/data/hostile/*; do
  case "$f" in *.md|*README*) continue ;; esac
  files+=("$f")
done
"$bench" "${files[@]}" "$work/sparse-2gib.tif"

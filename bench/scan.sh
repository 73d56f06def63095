#!/usr/bin/env bash
# Lists folders of 20,000 and 40,000 files through the real window; run after scripts/build.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for n in 20000 40000; do
  mkdir -p "$work/$n"
  (cd "$work/$n" && seq -f "IMG_%05g.JPG" 1 "$n" | xargs touch)
  echo "== $n files"
  build/bench/bench-scan "$work/$n"
done

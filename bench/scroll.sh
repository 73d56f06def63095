#!/usr/bin/env bash
# Scrolls a folder of 20,000 photos (links to one 1600 x 1200 JPEG) from top to bottom and back through
# the real window; run after scripts/build.sh. The goal: the process never holds more than 150 MiB.
set -euo pipefail
cd "$(dirname "$0")/.."
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/photos"
python3 - "$work/photo.ppm" <<'PY'
import sys, math
w, h = 1600, 1200
with open(sys.argv[1], "wb") as f:
    f.write(b"P6 %d %d 255\n" % (w, h))
    row = bytearray()
    for y in range(h):
        row.clear()
        for x in range(w):
            row += bytes(((x * 255) // w, (y * 255) // h, int(128 + 127 * math.sin((x + y) / 40))))
        f.write(row)
PY
cjpeg -quality 92 "$work/photo.ppm" > "$work/photo.jpg"
for i in $(seq -w 1 20000); do ln "$work/photo.jpg" "$work/photos/IMG_$i.jpg"; done
build/bench/bench-scroll "$work/photos" "${1:-1}"

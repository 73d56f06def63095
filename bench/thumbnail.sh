#!/usr/bin/env bash
# Times one list thumbnail of a 6000 x 4000 baseline JPEG (quality 92) against djpeg decoding the same
# file fully, and reports the thumbnail's peak memory beside the file size.
# Usage: bench/thumbnail.sh [BUILD_DIR]   (default: build)
set -euo pipefail
build=${1:-build}
bench="$build/bench/bench-thumbnail"
[ -x "$bench" ] || { echo "thumbnail.sh: build the bench-thumbnail target first ($bench)" >&2; exit 1; }
command -v djpeg >/dev/null && command -v cjpeg >/dev/null || { echo "thumbnail.sh: needs djpeg and cjpeg (libjpeg-turbo-progs)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
chmod 700 "$work"
export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$work}
"$bench" --make-ppm "$work/photo.ppm" 6000 4000
cjpeg -quality 92 -outfile "$work/photo.jpg" "$work/photo.ppm"
rm "$work/photo.ppm"

times=()
for _ in 1 2 3 4 5; do
  start=$(date +%s.%N)
  djpeg -outfile /dev/null "$work/photo.jpg"
  end=$(date +%s.%N)
  times+=("$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.6f", b - a }')")
done
djpeg_seconds=$(printf '%s\n' "${times[@]}" | sort -g | sed -n 3p)
size=$(stat -c %s "$work/photo.jpg")

echo "file_mib: $(awk -v s="$size" 'BEGIN { printf "%.2f", s / 1048576 }')"
echo "djpeg_seconds: $djpeg_seconds"
out=$("$bench" "$work/photo.jpg")
echo "$out"
thumb_seconds=$(echo "$out" | sed -n 's/^seconds: //p')
peak=$(echo "$out" | sed -n 's/^peak_extra_mib: //p')
awk -v t="$thumb_seconds" -v d="$djpeg_seconds" -v p="$peak" -v s="$size" 'BEGIN {
  printf "time_ratio: %.3f (goal <= 0.65)\n", t / d
  printf "memory_goal_mib: %.2f (peak_extra_mib %.2f)\n", s / 1048576 + 4, p
}'

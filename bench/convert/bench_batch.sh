#!/usr/bin/env bash
# A batch of small GIFs through --files-from on all cores: files per second
# and peak memory, for 1000 and for 10000 inputs, so memory that grows with
# the number of inputs shows.
#   bench/convert/bench_batch.sh [BUILD_DIR] [KIND]     KIND: avi (default), png, ...
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
kind=${2:-avi}
convert=$build/tools/reelmill-convert
[[ -x $convert ]] || { echo "build reelmill-convert first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed to make the GIFs" >&2; exit 1; }
[[ -x /usr/bin/time ]] || { echo "GNU time is needed (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/gifs"
# Four small animations of 8 to 20 frames, copied into 10000 files.
for i in 0 1 2 3; do
  ffmpeg -v error -f lavfi -i "testsrc2=size=$((64 + 16 * i))x$((48 + 8 * i)):rate=10" -frames:v $((8 + 4 * i)) \
    "$work/seed$i.gif"
done
for n in $(seq 0 9999); do cp "$work/seed$((n % 4)).gif" "$work/gifs/g$n.gif"; done

printf '%8s %10s %12s %10s\n' inputs seconds "files/s" "peak MB"
find "$work/gifs" -name '*.gif' | sort > "$work/all"
for count in 1000 10000; do
  head -n "$count" "$work/all" > "$work/list"
  rm -rf "$work/out"
  /usr/bin/time -f '%e %M' -o "$work/time" "$convert" --quiet --to "$kind" --files-from "$work/list" -o "$work/out"
  read -r seconds kb < "$work/time"
  printf '%8d %10s %12s %10d\n' "$count" "$seconds" "$(awk -v n="$count" -v s="$seconds" 'BEGIN { printf "%.0f", n / s }')" "$((kb / 1024))"
done

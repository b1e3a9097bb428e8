#!/usr/bin/env bash
# Converts the same GIFs with reelmill-convert --to avi and with
# ffmpeg -c:v mjpeg -q:v 2, and prints frames per second for both and their
# ratio, with one job and with all cores. It makes its own GIFs: one of 300
# frames at 480 x 360 and a batch of 50 small ones.
#   bench/convert/bench_convert.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
convert=$build/tools/reelmill-convert
[[ -x $convert ]] || { echo "build reelmill-convert first (cmake --build $build --target reelmill-convert)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed for the comparison" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/big" "$work/small" "$work/out"

# The GIFs: a moving test pattern (big), and small ones of varied sizes and lengths.
ffmpeg -v error -f lavfi -i testsrc=size=480x360:rate=10 -frames:v 300 "$work/big/big.gif"
for i in $(seq 1 50); do
  w=$((96 + (i * 37) % 160)); h=$((64 + (i * 23) % 120)); n=$((10 + i % 21))
  ffmpeg -v error -f lavfi -i "testsrc2=size=${w}x${h}:rate=10" -frames:v $n "$work/small/s$i.gif"
done
frames_of() { local total=0; for f in "$@"; do
  n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$f")
  total=$((total + n)); done; echo $total; }
big_frames=$(frames_of "$work"/big/*.gif)
small_frames=$(frames_of "$work"/small/*.gif)
cores=$(nproc)

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
fps() { awk -v n="$1" -v s="$2" 'BEGIN { printf "%.1f", n / s }'; }

run_reelmill() { # jobs files...
  local jobs=$1; shift
  rm -rf "$work/out"/*
  local t0; t0=$(now)
  "$convert" --quiet --to avi --jobs "$jobs" -o "$work/out" "$@"
  seconds "$t0" "$(now)"
}
run_ffmpeg() { # jobs files...
  local jobs=$1; shift
  rm -rf "$work/out"/*
  local t0; t0=$(now)
  printf '%s\n' "$@" | xargs -P "$jobs" -I{} sh -c \
    'ffmpeg -v error -y -i "$1" -c:v mjpeg -q:v 2 "$2/$(basename "$1" .gif).avi"' _ {} "$work/out"
  seconds "$t0" "$(now)"
}

printf '%-28s %8s %12s %12s %7s\n' "set" "jobs" "reelmill fps" "ffmpeg fps" "ratio"
declare -A total_r total_f
for set in big small; do
  files=("$work/$set"/*.gif)
  frames=$([[ $set == big ]] && echo "$big_frames" || echo "$small_frames")
  for jobs in 1 "$cores"; do
    r=$(run_reelmill "$jobs" "${files[@]}")
    f=$(run_ffmpeg "$jobs" "${files[@]}")
    rf=$(fps "$frames" "$r"); ff=$(fps "$frames" "$f")
    total_r[$jobs]=$(awk -v a="${total_r[$jobs]:-0}" -v b="$r" 'BEGIN { print a + b }')
    total_f[$jobs]=$(awk -v a="${total_f[$jobs]:-0}" -v b="$f" 'BEGIN { print a + b }')
    printf '%-28s %8s %12s %12s %7.2f\n' "$set (${#files[@]} files, $frames frames)" "$jobs" "$rf" "$ff" \
      "$(awk -v a="$rf" -v b="$ff" 'BEGIN { print a / b }')"
  done
done
all=$((big_frames + small_frames))
for jobs in 1 "$cores"; do
  rf=$(fps "$all" "${total_r[$jobs]}"); ff=$(fps "$all" "${total_f[$jobs]}")
  printf '%-28s %8s %12s %12s %7.2f\n' "all ($all frames)" "$jobs" "$rf" "$ff" \
    "$(awk -v a="$rf" -v b="$ff" 'BEGIN { print a / b }')"
done

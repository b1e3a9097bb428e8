#!/usr/bin/env bash
# Converts the same GIFs with reelmill-convert --to avi and with
# ffmpeg -c:v mjpeg -q:v 2, and prints frames per second for both and their
# ratio, with one job and with all cores. It makes its own GIFs: one of 300
# frames at 480 x 360 and a batch of 50 small ones.
#   bench/convert/bench_convert.sh [BUILD_DIR] [--sequences-only]
# Then image sequences of a 1200-frame GIF and one long GIF to AVI, against
# ffmpeg -i in.gif out%05d.FORMAT, with time, peak memory and size.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
only_sequences=${2:-}
convert=$build/tools/reelmill-convert
[[ -x $convert ]] || { echo "build reelmill-convert first (cmake --build $build --target reelmill-convert)" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed for the comparison" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/big" "$work/small" "$work/out"

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }

if [[ $only_sequences != --sequences-only ]]; then
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

fi

# Sequences (best of three runs) and one long GIF (best of seven, it is
# short), with peak memory.
# The long GIF is 1200 frames of 500 x 500: two full frames, then small
# updates (ffmpeg's GIF encoder keeps only the changed rectangles).
command -v /usr/bin/time >/dev/null || { echo "GNU time is needed for the sequences section" >&2; exit 0; }
ffmpeg -v error -f lavfi -i testsrc=size=500x500:rate=10 -frames:v 1200 "$work/long.gif"
ffmpeg -v error -f lavfi -i testsrc2=size=256x128:rate=10 -frames:v 449 "$work/clip.gif"
best_of() { # runs output-folder command...: prints "seconds peak-MB" of the fastest run
  # Wall time from the nanosecond clock: GNU time's 10 ms steps are too coarse
  # for the short runs.
  local runs=$1 out=$2; shift 2
  local best="" mem=0
  for _ in $(seq "$runs"); do
    rm -rf "$out"; mkdir -p "$out"
    local t0; t0=$(now)
    /usr/bin/time -f '%M' -o "$work/time" "$@" >/dev/null 2>&1
    local s; s=$(seconds "$t0" "$(now)")
    read -r kb < "$work/time"
    if [[ -z $best ]] || awk -v a="$s" -v b="$best" 'BEGIN { exit !(a < b) }'; then best=$s; mem=$((kb / 1024)); fi
  done
  echo "$best $mem"
}
echo
printf '%-8s %12s %10s %12s %10s %14s %12s\n' format "reelmill s" "ffmpeg s" "reelmill MB" "ffmpeg MB" "reelmill size" "ffmpeg size"
for format in png bmp jpg tiff; do
  read -r rs rm < <(best_of 3 "$work/seq" "$convert" --quiet --to "$format" -o "$work/seq" "$work/long.gif")
  rsize=$(du -sk "$work/seq" | cut -f1)
  read -r fs fm < <(best_of 3 "$work/ff" ffmpeg -v error -i "$work/long.gif" "$work/ff/out%05d.$format")
  fsize=$(du -sk "$work/ff" | cut -f1)
  printf '%-8s %12s %10s %12s %10s %12s K %10s K\n' "$format" "$rs" "$fs" "$rm" "$fm" "$rsize" "$fsize"
done
read -r rs rm < <(best_of 7 "$work/avi" "$convert" --quiet --to avi -o "$work/avi" "$work/clip.gif")
read -r fs fm < <(best_of 7 "$work/ffavi" ffmpeg -v error -i "$work/clip.gif" -c:v mjpeg -q:v 2 "$work/ffavi/clip.avi")
printf '%-8s %12s %10s %12s %10s   %s\n' "avi" "$rs" "$fs" "$rm" "$fm" \
  "449 frames of 256 x 128: $(awk -v a="$fs" -v b="$rs" 'BEGIN { printf "%.2fx", a / b }') ffmpeg's speed"

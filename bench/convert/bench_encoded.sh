#!/usr/bin/env bash
# reelmill-convert --to mp4, webm and webp against ffmpeg with the same
# encoder settings (libx264 slow crf 23 psy-rd=0.3,0 deblock=1,1; libvpx-vp9
# crf 32, good, speed 1, row-mt) and against libwebp's gif2webp (lossless, its default), each peer
# run as two processes at a time, on this machine's GIFs and 40 small ones it
# makes: seconds and the ratio. Then one long GIF alone, and the peak memory
# of GIFs of 200 and 1600 frames (it should not grow with the frames).
#   bench/convert/bench_encoded.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
convert=$build/tools/reelmill-convert
[[ -x $convert ]] || { echo "build reelmill-convert first" >&2; exit 1; }
for tool in ffmpeg gif2webp; do
  command -v $tool >/dev/null || { echo "$tool is needed (apt-get install ffmpeg webp)" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/batch" "$work/out"
for f in /usr/libexec/installed-tests/gdk-pixbuf/aero.gif /usr/libexec/installed-tests/gdk-pixbuf/1_partyanimsm2.gif \
  "$HOME"/Pictures/gifs/*.gif; do
  [[ -f $f ]] && cp "$f" "$work/batch/"
done
for i in $(seq 1 40); do
  w=$((96 + (i * 37) % 160)); h=$((64 + (i * 23) % 120)); n=$((10 + i % 21))
  ffmpeg -v error -f lavfi -i "testsrc2=size=${w}x${h}:rate=10" -frames:v $n "$work/batch/s$i.gif"
done
long=/root/.pyenv/install_local_python.gif  # a terminal recording, when the machine has it
if [[ ! -f $long ]]; then
  long=$work/long.gif
  ffmpeg -v error -f lavfi -i "testsrc2=size=640x360:rate=10:duration=80" \
    -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse" "$long"
fi
ffmpeg -v error -f lavfi -i "testsrc=size=320x240:rate=25:duration=8" "$work/frames200.gif"
ffmpeg -v error -f lavfi -i "testsrc=size=320x240:rate=25:duration=64" "$work/frames1600.gif"

now() { date +%s.%N; }
since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.2f", b - a }'; }

peer() { # kind input output
  case $1 in
    mp4) ffmpeg -v error -y -i "$2" -vf "pad=ceil(iw/2)*2:ceil(ih/2)*2" -c:v libx264 -preset slow -crf 23 \
      -x264-params psy-rd=0.3,0:deblock=1,1 -pix_fmt yuv420p "$3" ;;
    webm) ffmpeg -v error -y -i "$2" -c:v libvpx-vp9 -crf 32 -b:v 0 -deadline good -cpu-used 1 -row-mt 1 \
      -pix_fmt yuv420p "$3" ;;
    webp) gif2webp -quiet "$2" -o "$3" ;;
  esac
}
export -f peer

batch=("$work"/batch/*.gif)
printf '%-34s %6s %10s %10s %7s\n' "run" "kind" "reelmill s" "peer s" "ratio"
for kind in mp4 webm webp; do
  rm -rf "$work/out"/*
  t0=$(now); "$convert" --quiet --to $kind -o "$work/out" "${batch[@]}"; ours=$(since "$t0")
  rm -rf "$work/out"/*
  t0=$(now)
  printf '%s\n' "${batch[@]}" | xargs -P 2 -I{} bash -c 'peer "$0" "$1" "$2/$(basename "$1" .gif).$0"' $kind {} "$work/out"
  theirs=$(since "$t0")
  printf '%-34s %6s %10s %10s %7.2f\n' "batch (${#batch[@]} GIFs)" $kind "$ours" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print b / a }')"
done
for kind in mp4 webm webp; do
  t0=$(now); "$convert" --quiet --to $kind -o "$work/out/long.$kind" "$long"; ours=$(since "$t0")
  t0=$(now); peer $kind "$long" "$work/out/peer.$kind"; theirs=$(since "$t0")
  printf '%-34s %6s %10s %10s %7.2f\n' "long: $(basename "$long")" $kind "$ours" "$theirs" \
    "$(awk -v a="$ours" -v b="$theirs" 'BEGIN { print b / a }')"
done
printf '\n%-34s %6s %12s %12s\n' "peak memory" "kind" "200 frames" "1600 frames"
for kind in mp4 webm webp; do
  peak() { /usr/bin/time -f %M "$convert" --quiet --to $kind -o "$work/out/m.$kind" "$1" 2>&1 >/dev/null | tail -1; }
  printf '%-34s %6s %9s KB %9s KB\n' "320x240" $kind "$(peak "$work/frames200.gif")" "$(peak "$work/frames1600.gif")"
done

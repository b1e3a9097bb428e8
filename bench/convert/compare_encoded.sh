#!/usr/bin/env bash
# Size and fidelity of reelmill-convert's MP4 and WebM at their defaults
# against ffmpeg's `-pix_fmt yuv420p` output of the same GIFs, as a Markdown
# table. Fidelity is the PSNR (RGB, dB) of the decoded video against the
# GIF's own frames composited over white, both sampled at 50 frames per
# second over the GIF's play. ffmpeg refuses 4:2:0 for odd sizes, so those
# GIFs get `-vf pad` there (one edge column or row of black); both videos
# are cropped back to the GIF's size before they are compared.
#   bench/convert/compare_encoded.sh [BUILD_DIR] GIF...
# Without GIFs it takes the ones this machine holds and makes a few more.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
shift || true
convert=$build/tools/reelmill-convert
[[ -x $convert ]] || { echo "build reelmill-convert first" >&2; exit 1; }
command -v ffmpeg >/dev/null || { echo "ffmpeg is needed for the comparison" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
gifs=("$@")
if [[ ${#gifs[@]} -eq 0 ]]; then
  # GIFs from Debian packages, when installed, and a user's folder, when there.
  for f in /usr/libexec/installed-tests/gdk-pixbuf/aero.gif /usr/libexec/installed-tests/gdk-pixbuf/1_partyanimsm2.gif \
    "$HOME"/Pictures/gifs/*.gif; do
    [[ -f $f ]] && gifs+=("$f")
  done
  # What online converters make: a dithered palette of a moving picture.
  ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=15 -frames:v 90 \
    -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse=dither=bayer" "$work/dithered.gif"
  ffmpeg -v error -f lavfi -i "mandelbrot=size=401x225:rate=10" -frames:v 60 \
    -vf "split[a][b];[a]palettegen=max_colors=64[p];[b][p]paletteuse" "$work/odd-fractal.gif"
  gifs+=("$work/dithered.gif" "$work/odd-fractal.gif")
fi

# psnr VIDEO GIF WIDTH HEIGHT: the mean PSNR over the frames both show.
psnr() {
  ffmpeg -nostats -hide_banner -i "$1" -i "$2" -filter_complex \
    "[1:v]fps=50,format=rgba[g];color=white:s=${3}x${4},format=rgba[w];[w][g]overlay=shortest=1,format=rgb24[ref];
     [0:v]fps=50,format=rgb24,crop=${3}:${4}:0:0[out];[out][ref]psnr=shortest=1" -f null - 2>&1 |
    sed -n 's/.*average:\([0-9.inf]*\).*/\1/p'
}
kib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.0f", b / 1024 }'; }

printf '| GIF | size | frames | GIF KiB | MP4 KiB ours / ffmpeg | MP4 PSNR ours / ffmpeg | WebM KiB ours / ffmpeg | WebM PSNR ours / ffmpeg |\n'
printf '|---|---|---|---|---|---|---|---|\n'
for gif in "${gifs[@]}"; do
  read -r width height < <(ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0:s=x "$gif" | tr x ' ')
  frames=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 "$gif")
  name=$(basename "$gif" .gif)
  row="| $name | ${width}x$height | $frames | $(kib "$gif")"
  for kind in mp4 webm; do
    "$convert" --quiet --to "$kind" -o "$work/ours.$kind" "$gif"
    pad=()
    if [[ $kind == mp4 ]] && (((width | height) & 1)); then pad=(-vf "pad=ceil(iw/2)*2:ceil(ih/2)*2"); fi
    ffmpeg -v error -y -i "$gif" "${pad[@]}" -pix_fmt yuv420p "$work/theirs.$kind"
    row+=" | $(kib "$work/ours.$kind") / $(kib "$work/theirs.$kind")"
    row+=" | $(psnr "$work/ours.$kind" "$gif" "$width" "$height") / $(psnr "$work/theirs.$kind" "$gif" "$width" "$height")"
  done
  echo "$row |"
done

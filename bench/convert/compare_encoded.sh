#!/usr/bin/env bash
# Size and fidelity of reelmill-convert's MP4 and WebM at their defaults
# against ffmpeg's `-pix_fmt yuv420p` output of the same GIFs, as a Markdown
# table. Fidelity is the PSNR (RGB, dB) of what the video shows against what
# the GIF shows over white, every 20 ms of its play (fidelity.py, which needs
# python3-numpy). ffmpeg refuses 4:2:0 H.264 for odd sizes, so those GIFs get
# `-vf pad` there (a black edge column or row); both videos are compared on
# the GIF's own area.
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
    /root/.pyenv/install_local_python.gif "$HOME"/Pictures/gifs/*.gif /home/*/Pictures/gifs/*.gif; do
    [[ -f $f ]] && gifs+=("$f")
  done
  # What online converters make: a dithered palette of a moving picture.
  ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=15:duration=6 \
    -vf "split[a][b];[a]palettegen[p];[b][p]paletteuse=dither=bayer" "$work/dithered.gif"
  ffmpeg -v error -f lavfi -t 6 -i "mandelbrot=size=401x225:rate=10" \
    -vf "split[a][b];[a]palettegen=max_colors=64[p];[b][p]paletteuse" "$work/odd-fractal.gif"
  gifs+=("$work/dithered.gif" "$work/odd-fractal.gif")
fi

# fidelity VIDEO GIF: PSNR of what the video shows against the GIF (fidelity.py).
fidelity() { /usr/bin/python3 "$root/bench/convert/fidelity.py" "$1" "$2" 2>/dev/null; }
kib() { awk -v b="$(stat -c %s "$1")" 'BEGIN { printf "%.1f", b / 1024 }'; }

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
    row+=" | $(fidelity "$work/ours.$kind" "$gif") / $(fidelity "$work/theirs.$kind" "$gif")"
  done
  echo "$row |"
done

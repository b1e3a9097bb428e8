#!/usr/bin/env bash
# Time and peak memory of reelmill-convert on hostile GIFs: a pass of 13
# million steps (AVI, and SWF which must refuse it at once), 600 frames of
# 1000 x 1000 with a bad code in the last one, and 10000 x 10000 frames
# with one job and with sixteen encoder threads asked for, and tiny frames on
# 13000 and 8192 pixel screens against the memory budget (the default 2G, or
# more when asked), one file and four at once.
#   bench/convert/bench_long_passes.sh [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
convert=$build/tools/reelmill-convert
make_gifs=$build/bench/convert/make_hostile_gifs
for tool in "$convert" "$make_gifs"; do
  [[ -x $tool ]] || { echo "build first: cmake --build $build --target reelmill-convert make_hostile_gifs" >&2; exit 1; }
done
[[ -x /usr/bin/time ]] || { echo "GNU time is needed (apt-get install time)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$make_gifs" "$work"

printf '%-40s %6s %10s %12s\n' "input" "exit" "seconds" "peak MB"
run() { # label args...
  local label=$1; shift
  rm -rf "$work/out"
  local status=0
  /usr/bin/time -f '%e %M' -o "$work/time" "$convert" --quiet -o "$work/out" "$@" 2>/dev/null || status=$?
  read -r seconds kb < <(tail -1 "$work/time")
  printf '%-40s %6s %10s %12s\n' "$label" "$status" "$seconds" "$((kb / 1024))"
}
run "steps.gif (13.1M steps) to avi" --to avi --timing window "$work/steps.gif"
run "steps.gif (13.1M steps) to swf" --to swf --timing window "$work/steps.gif"
run "steps.gif, real timing, to avi (over 2 GB)" --to avi "$work/steps.gif"
run "damaged.gif (600 x 1000x1000) to avi" --to avi --jobs 2 "$work/damaged.gif"
run "huge.gif (10000x10000) --jobs 1" --to avi --jobs 1 "$work/huge.gif"
run "huge.gif (10000x10000) --jobs 16" --to avi --jobs 16 "$work/huge.gif"
for i in 1 2 3 4; do cp "$work/screen8k.gif" "$work/screen8k-$i.gif"; done
run "screen.gif (13000x13000) to png" --to png "$work/screen.gif"
run "screen.gif to png, --memory 4G" --to png --memory 4G "$work/screen.gif"
run "screen.gif (13000x13000) to avi" --to avi "$work/screen.gif"
run "4 x screen8k.gif -j 4 to avi" --to avi --jobs 4 "$work"/screen8k-?.gif
run "4 x screen8k.gif -j 4 to png" --to png --jobs 4 "$work"/screen8k-?.gif
run "4 x screen8k.gif -j 4 to avi, --memory 1G" --to avi --jobs 4 --memory 1G "$work"/screen8k-?.gif

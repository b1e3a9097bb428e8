#!/usr/bin/env bash
# Builds and runs one libFuzzer target (clang, AddressSanitizer, UBSan).
#   scripts/fuzz.sh TARGET [SECONDS]   fuzz for SECONDS (default 60) from the seeds
#   scripts/fuzz.sh TARGET FILE...     run the target once on each file (reproduce a finding)
#   scripts/fuzz.sh --list             the targets
#   scripts/fuzz.sh --all SECONDS      every target in turn (CI)
# The growing corpus lives in $FUZZ_CORPUS_DIR/TARGET (default build-fuzz/corpus/TARGET);
# findings land in $FUZZ_ARTIFACT_DIR (default build-fuzz/findings/).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(gif_frame_table gif_decoder recording_roads encoded_outputs image_codecs jpeg_info mux)
dict_of() {
  case "$1" in
    gif_*|recording_roads|encoded_outputs) echo fuzz/dict/gif.dict ;;
    jpeg_info) echo fuzz/dict/jpeg.dict ;;
    *) echo "fuzz/dict/$1.dict" ;;
  esac
}

if [[ "${1:-}" == "--list" ]]; then printf '%s\n' "${targets[@]}"; exit 0; fi
if [[ $# -lt 1 ]]; then sed -n '2,9p' "$0" >&2; exit 2; fi

build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
scripts/setup-deps.sh --fuzz
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DREELMILL_FUZZ=ON -DREELMILL_BUILD_BENCH=OFF >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
[[ -x /usr/lib/llvm-14/bin/llvm-symbolizer ]] && export ASAN_SYMBOLIZER_PATH=${ASAN_SYMBOLIZER_PATH:-/usr/lib/llvm-14/bin/llvm-symbolizer}
limits=(-rss_limit_mb=2048 -timeout=10 -max_len=262144)

run_target() {  # TARGET SECONDS
  local target=$1 seconds=$2
  local corpus=${FUZZ_CORPUS_DIR:-$build_dir/corpus}/$target
  local findings=${FUZZ_ARTIFACT_DIR:-$build_dir/findings}/
  mkdir -p "$corpus" "$findings"
  echo "== $target: ${seconds}s" >&2
  "$build_dir/fuzz/fuzz_$target" "${limits[@]}" -dict="$(dict_of "$target")" -max_total_time="$seconds" \
    -print_final_stats=1 -artifact_prefix="$findings$target-" "$corpus" "fuzz/corpus/$target"
}

if [[ "$1" == "--all" ]]; then
  cmake --build "$build_dir" -j"$(nproc)" --target fuzzers
  for target in "${targets[@]}"; do run_target "$target" "${2:-20}"; done
  exit 0
fi

target=$1
shift
[[ " ${targets[*]} " == *" $target "* ]] || { echo "unknown target: $target (see --list)" >&2; exit 2; }
cmake --build "$build_dir" -j"$(nproc)" --target "fuzz_$target"
if [[ $# -gt 0 && -f "$1" ]]; then
  exec "$build_dir/fuzz/fuzz_$target" "${limits[@]}" "$@"
fi
run_target "$target" "${1:-60}"

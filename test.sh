#!/usr/bin/env bash
# Sets everything up, builds, and runs every test through ctest.
#   ./test.sh               all tests
#   ./test.sh --sanitize    the same under AddressSanitizer + UBSan (build-sanitize/)
# Further arguments go to ctest (for example: ./test.sh -L imaging).
set -euo pipefail
cd "$(dirname "$0")"

build_dir=build
cmake_args=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [[ "${1:-}" == "--sanitize" ]]; then
  shift
  build_dir=build-sanitize
  cmake_args=(-DCMAKE_BUILD_TYPE=Debug -DREELMILL_SANITIZE=ON -DREELMILL_BUILD_BENCH=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fi

scripts/setup-deps.sh --tests
cmake -S . -B "$build_dir" "${cmake_args[@]}" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
ctest --test-dir "$build_dir" --output-on-failure -j"$(nproc)" "$@"

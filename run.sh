#!/usr/bin/env bash
# Sets everything up, builds, and runs Reelmill's command-line converter.
# Arguments are passed to it; without any it prints its help.
set -euo pipefail
cd "$(dirname "$0")"

scripts/setup-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target reelmill-convert >&2
if [[ $# -eq 0 ]]; then set -- --help; fi
exec build/tools/reelmill-convert "$@"

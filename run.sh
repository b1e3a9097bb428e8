#!/usr/bin/env bash
# Sets everything up, builds, and starts the Reelmill window. Arguments are
# GIF files to put in its list, relative to the folder you run this from.
# The command-line converter is built too: build/tools/reelmill-convert.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)

# Said before minutes of building, not after.
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display to open the window on: run 'xvfb-run ./run.sh' (Debian package xvfb) for a virtual one, or build and use reelmill-convert (see the README)." >&2
  exit 1
fi
(
  cd "$root"
  scripts/setup-deps.sh
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)" --target reelmill reelmill-convert >&2
)
exec "$root/build/app/reelmill" "$@"

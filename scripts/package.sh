#!/usr/bin/env bash
# Builds the Debian package in one command and prints its path:
#   scripts/package.sh            -> build-package/reelmill_<version>_amd64.deb
# Install it with: sudo apt-get install ./build-package/reelmill_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${PACKAGE_BUILD_DIR:-build-package}
scripts/setup-deps.sh
# Debian's own build flags, hardening included (stack protector, fortified
# functions, relocations read-only and bound at start). CMake reads them
# from the environment when it first configures the folder.
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CFLAGS="$CPPFLAGS $CFLAGS" CXXFLAGS="$CPPFLAGS $CXXFLAGS"
# Only what the package holds is built: no tests, benchmarks or fuzz targets.
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release \
  -DREELMILL_BUILD_BENCH=OFF -DREELMILL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" >&2
rm -f "$build_dir"/reelmill_*.deb
(cd "$build_dir" && cpack -G DEB >&2)
debs=("$(pwd)/$build_dir"/reelmill_*.deb)
[[ ${#debs[@]} -eq 1 && -f "${debs[0]}" ]] || { echo "package.sh: cpack made no package" >&2; exit 1; }
echo "${debs[0]}"

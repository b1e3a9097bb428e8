#!/usr/bin/env bash
# Installs the Debian packages Reelmill needs to build and test.
# Idempotent: apt-get runs only when something is missing.
#   scripts/setup-deps.sh          build, run and package (scripts/package.sh)
#   scripts/setup-deps.sh --tests  also the independent checkers used by tests
#   scripts/setup-deps.sh --fuzz   also clang and libFuzzer (scripts/fuzz.sh)
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
  libgif-dev libturbojpeg0-dev libjpeg62-turbo-dev libpng-dev libtiff-dev
  libimagequant-dev libpixman-1-dev libdeflate-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev libwebp-dev
  qt6-base-dev qt6-svg-dev
  # manual pages, bash completion, and the Debian package (cpack needs file for dpkg-shlibdeps)
  help2man bash-completion file dpkg-dev
)
for group in "$@"; do
  case "$group" in
    --tests) packages+=(ffmpeg imagemagick webp gdk-pixbuf-tests xauth xvfb fonts-dejavu-core parallel
      dbus at-spi2-core python3-pyatspi
      man-db desktop-file-utils appstream lintian) ;;
    # libclang-rt holds libFuzzer and the sanitizer runtimes; llvm the symbolizer.
    --fuzz) packages+=(clang-14 libclang-rt-14-dev llvm-14) ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
if [[ $(id -u) -ne 0 ]]; then
  command -v sudo >/dev/null || { echo "Need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

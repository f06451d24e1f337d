#!/usr/bin/env bash
# Installs the Debian 12 packages Morvane needs.
#   install-deps.sh          what building and running the program needs
#   install-deps.sh test     also what the test suite needs
#   install-deps.sh bench    also what the benchmarks need
#   install-deps.sh fuzz     also what the fuzzing build needs
set -euo pipefail

build_pkgs=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-image-formats-plugins qt6-qpa-plugins
  libgl-dev libgif-dev libimagequant-dev libturbojpeg0-dev libjpeg62-turbo-dev libstb-dev libsquish-dev
  libbenchmark-dev librsvg2-bin
  # Stand-ins of like widths for the windows' fonts (app/windowframe.cpp):
  # Nimbus Sans Narrow for MS Sans Serif, DejaVu Sans for Verdana.
  fonts-urw-base35 fonts-dejavu-core
  # The README's install command runs through sudo, also for root on a
  # machine set up without it.
  sudo
)
test_pkgs=(
  xvfb xauth xdotool x11-utils
  imagemagick libmagickcore-6.q16-6-extra graphicsmagick libwmf-bin libreoffice-draw-nogui
  desktop-file-utils appstream dpkg-dev file libxcb1-dev man-db lintian
  exfat-fuse exfatprogs e2fsprogs
  python3-pil python3-numpy
)
bench_pkgs=(
  imagemagick graphicsmagick time hyperfine
  mate-backgrounds extremetuxracer-data
)
fuzz_pkgs=(clang libclang-rt-dev)

pkgs=("${build_pkgs[@]}")
case "${1:-}" in
  "") ;;
  test) pkgs+=("${test_pkgs[@]}") ;;
  bench) pkgs+=("${test_pkgs[@]}" "${bench_pkgs[@]}") ;;
  fuzz) pkgs+=("${fuzz_pkgs[@]}") ;;
  *) echo "usage: $0 [test|bench|fuzz]" >&2; exit 2 ;;
esac

sudo=()
if [ "$(id -u)" -ne 0 ]; then sudo=(sudo); fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update
"${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"

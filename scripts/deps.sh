#!/usr/bin/env bash
# Installs the Debian packages Skyloom needs to build, test and run. Idempotent: quiet and quick when
# everything is already there. Runs apt-get as root, or through sudo.
#   bash scripts/deps.sh            what the build, the tests and scripts/run.sh need
#   bash scripts/deps.sh --package  that, and the tools that build and check the .deb
#                                   (scripts/package.sh, tests/package/)
set -euo pipefail

packages=(
  cmake make g++ pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  freeglut3-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri libx11-dev
  xvfb xauth x11-utils xdotool imagemagick
  libnetcdf-dev libnetcdf-cxx-legacy-dev netcdf-bin
  libpng-dev libjpeg62-turbo-dev libtiff-dev libtiff-tools
  curl libcurl4-openssl-dev libeccodes-dev libeccodes-tools
  ffmpeg
  clang libclang-rt-14-dev
)
case ${1:-} in
  --package)
    # dpkg-shlibdeps and dpkg-buildflags; file, which CPack needs to find the binaries for shlibdeps;
    # help2man for the manual pages; lintian; systemd-analyze to verify the units, and man to look
    # up their Documentation= pages.
    packages+=(dpkg-dev file help2man lintian systemd man-db) ;;
  "") ;;
  *) echo "usage: bash scripts/deps.sh [--package]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "deps.sh: need root or sudo to install: ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

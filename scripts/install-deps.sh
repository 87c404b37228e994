#!/usr/bin/env bash
# Installs every Debian package that building, running and testing tarnwick needs.
# Quick when everything is present already.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  libgtkmm-3.0-dev liblz4-dev libmbedtls-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth fonts-dejavu-core   # GUI tests draw text in a virtual display
  # the ASC peer test reads our traces with python-can; the live peer test serves frames
  # over the logger's wire format (LZ4 blocks, AES-128-CBC + HMAC-SHA1)
  python3 python3-can python3-lz4 python3-cryptography
  # the GPX tests read our track files back with gpxpy
  python3-gpxpy
  # the link test drives two copies in one X display
  python3-xlib
  # the install test validates the desktop entry
  desktop-file-utils
  # fuzzing (clang with libFuzzer)
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"

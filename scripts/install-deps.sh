#!/usr/bin/env bash
# Installs what building and testing zelt needs on Debian (run as root).
set -euo pipefail
packages=(g++ cmake make libtbb-dev libgtest-dev googletest libbenchmark-dev libfftw3-dev pkg-config python3 python3-numpy python3-gemmi libccp4-data libopenmpi-dev openmpi-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

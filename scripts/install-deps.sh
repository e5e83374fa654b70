#!/usr/bin/env bash
# Installs what building and testing zelt needs on Debian (run as root).
set -euo pipefail
packages=(g++ cmake make libtbb-dev libgtest-dev googletest libbenchmark-dev libfftw3-dev pkg-config python3 python3-numpy python3-gemmi libccp4-data)
# mmCIF and gzipped inputs are read with gemmi.
packages+=(gemmi-dev tao-pegtl-dev zlib1g-dev)
# The fuzz targets (scripts/fuzz.sh) are built with clang and its libFuzzer runtime.
packages+=(clang libclang-rt-14-dev)
# The run record is written with nlohmann-json.
packages+=(nlohmann-json3-dev)
# Highway: portable SIMD with run-time dispatch.
packages+=(libhwy-dev)
# Attempts spread over the processes of an MPI job.
packages+=(libopenmpi-dev openmpi-bin)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi

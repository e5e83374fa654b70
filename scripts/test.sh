#!/usr/bin/env bash
# Builds zelt and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The MPI variant (the program alone) in its own folder; the main build's
# suite compares it with the program built without MPI.
cmake -S . -B build-mpi -DCMAKE_BUILD_TYPE=Release -DZELT_MPI=ON -DBUILD_TESTING=OFF -DZELT_BUILD_BENCHMARKS=OFF
cmake --build build-mpi -j"$(nproc)" --target zelt
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELT_MPI_BINARY="$PWD/build-mpi/zelt"
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure -j"$(nproc)"

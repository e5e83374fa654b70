#!/usr/bin/env bash
# Builds zelt and runs it on the bundled beta-lactamase / BLIP example.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target zelt
mkdir -p run
cd run
../build/zelt -V
../build/zelt ../examples/beta-blip/beta_blip.mtz ../examples/beta-blip/beta.pdb || true

#!/usr/bin/env bash
# Builds zelt and searches for beta-lactamase in the measured data of the
# beta-lactamase/BLIP complex (P3221, 3 A) bundled in examples/beta-blip.
# Four attempts of the translation-function search with a fixed seed take
# about ten seconds on two cores; the solution lines, the placed models
# (run/beta.1.pdb ... run/beta.4.pdb), the
# summary with its verdict, run/beta.json and run/beta.best.mtz
# are explained in README.md.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$(nproc)" --target zelt
mkdir -p run
cd run
../build/zelt -e 11 -n 4 -P optimizer.translation=fft -o beta ../examples/beta-blip/beta_blip.mtz ../examples/beta-blip/beta.pdb

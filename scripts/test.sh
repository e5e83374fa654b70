#!/usr/bin/env bash
# Builds zelt and runs the whole test suite; then builds it once more with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize) and runs
# the fast tests there, where any finding fails the run. The sanitized run
# comes first so that the last line printed is the summary of the main build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"

# Tests too slow for a sanitized build: the real-data searches and the
# search runs of a minute or more. They run in the main build below.
slow='^(RealData\.|Search\.(OutputDestinations|FindsTheKnownPlacementOfSyntheticData|UnwritableOutputFails|AttemptFileNames|SegmentModelsAreNotSearchedAgain|LaterCopiesStayInTheSpaceGroupOfTheFixedCopy|LocalOnlyFromTheKnownSolutionOfTheRealData))'
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT_SANITIZE=ON -DZELT_BUILD_BENCHMARKS=OFF
cmake --build build-sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -E "$slow"

# The MPI variant (the program alone) in its own folder; the main build's
# suite compares it with the program built without MPI.
cmake -S . -B build-mpi -DCMAKE_BUILD_TYPE=Release -DZELT_MPI=ON -DBUILD_TESTING=OFF -DZELT_BUILD_BENCHMARKS=OFF
cmake --build build-mpi -j"$jobs" --target zelt

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELT_MPI_BINARY="$PWD/build-mpi/zelt"
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

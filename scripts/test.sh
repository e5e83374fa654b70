#!/usr/bin/env bash
# Builds zelt and runs the whole test suite. First a build with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-sanitize) runs every
# test but the slow searches, where any finding fails the run; then the main
# build (build), which also links the MPI program from the same objects
# (zelt-mpi), runs the slow searches, the whole-program comparisons (threads,
# vector loops, seeds) and the comparison of the MPI program with the plain
# one.
# The sanitized run comes first so that the last line printed is the summary
# of the main build. Each stage's time is printed as it ends. Both builds
# compile each room in a few unity sources: from scratch that is the faster
# build.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
jobs="$(nproc)"
stage_start=$SECONDS
stage_done() {
  echo "== $1: $((SECONDS - stage_start)) s"
  stage_start=$SECONDS
}

# Tests too slow for a sanitized build: the real-data searches, the search
# runs of a minute or more, and the whole-program searches of ten seconds or
# more under the sanitizers whose paths shorter sanitized tests take as well
# (the fft search's limits, segment splits, identical attempts, weighted
# maps, Babinet bounds, the bench's case builders). They run in the main
# build below. With them there, the comparisons whose point is the optimised
# program: the same results from one thread and from all, from the vector and
# the scalar loops, from the same seed twice, and from the MPI program with
# one and three ranks.
slow='^(RealData\.|Search\.(OutputDestinations|FindsTheKnownPlacementOfSyntheticData|UnwritableOutputFails|AttemptFileNames|SegmentModelsAreNotSearchedAgain|LaterCopiesStayInTheSpaceGroupOfTheFixedCopy|LocalOnlyFromTheKnownSolutionOfTheRealData)|VerdictBinary\.(AllAttemptsButOneAgreeing|SolventTermOffMatchesGemmi|SegmentedModelsAreGrouped|IdenticalAttemptsCountAsOne|SimplexKeepsTheBabinetBounds)|RunSummary\.(SolvedOnTheExampleBetaSearch|NotClearForATooShortRunAndForAScrambledModel)|FftSearchBinary\.AutomaticResolutionFollowsTheReflectionsAvailable|MapOutput\.WeightedMapIsCloserToTheTrueStructure|BenchPanel\.)'
shipped='^(mpi_same_results|RealData\.|RunFiles\.OneThreadGivesTheSameResultsAsAll|VectorLoopBinary\.)'
# Light optimisation and line tables only: the sanitizers' reports keep
# their file and line, and the build takes far less time than with full
# debugging information.
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g1" \
  -DZELT_SANITIZE=ON -DZELT_BUILD_BENCHMARKS=OFF -DCMAKE_UNITY_BUILD=ON
cmake --build build-sanitize -j"$jobs"
stage_done "sanitized build"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j"$jobs" -E "$slow|$shipped"
stage_done "sanitized tests"

# The main build makes the programs and the whole-program tests only, and
# runs the slow searches and the comparisons above with the program as it is
# shipped; every other test ran sanitized.
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELT_MPI_PROGRAM=ON -DZELT_TESTS=app -DCMAKE_UNITY_BUILD=ON
cmake --build build -j"$jobs" --target zelt zelt-mpi test_app
stage_done "main build"
ctest --test-dir build --output-on-failure -j"$jobs" -R "$slow|$shipped"

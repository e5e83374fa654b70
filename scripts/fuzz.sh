#!/usr/bin/env bash
# Runs one fuzz target for a given time with AddressSanitizer and
# UndefinedBehaviorSanitizer.
#   scripts/fuzz.sh TARGET SECONDS [extra libFuzzer options]
# TARGET is one of: configuration mmcif model_list mtz options pdb reflection_text.
# The committed corpus fuzz/corpus/TARGET seeds the run; inputs the fuzzer
# finds go to build-fuzz/corpus/TARGET, crashes to build-fuzz/findings/TARGET
# (add each fixed finding to the committed corpus).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -lt 2 ]; then
  echo "usage: $0 TARGET SECONDS [libFuzzer options]" >&2
  exit 2
fi
target=$1
seconds=$2
shift 2
if [ ! -d "fuzz/corpus/$target" ]; then
  echo "no fuzz target named $target" >&2
  exit 2
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT_FUZZ=ON \
  -DBUILD_TESTING=OFF -DZELT_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build-fuzz -j"$(nproc)" --target "${target}_fuzz" >/dev/null
# Absolute paths: the model-list target works inside a scratch folder.
here=$(pwd)
mkdir -p "build-fuzz/corpus/$target" "build-fuzz/findings/$target"
exec "build-fuzz/fuzz/${target}_fuzz" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 \
  -malloc_limit_mb=1024 -print_final_stats=1 -artifact_prefix="$here/build-fuzz/findings/$target/" "$@" \
  "$here/build-fuzz/corpus/$target" "$here/fuzz/corpus/$target"

#!/usr/bin/env bash
# Whole-search benchmark on the bundled beta-lactamase/BLIP data.
#
#   bash bench/search_bench.sh [path/to/zelt] [seed]
#
# Run from the repository root after a build (default binary: build/zelt).
# Two runs with a fixed seed and the default search settings (20 attempts,
# population 300, 50 generations):
#   1. beta-lactamase alone;
#   2. the assembly search (-a): beta-lactamase, then BLIP with beta fixed.
# For each model step it prints the wall time of the run, how many attempts
# put the model where the reference solution has it (at least 90% of the
# C-alpha atoms within 2 A, up to crystal symmetry and origin choice), and
# the rate of candidate evaluations of the evolutionary search.  That rate
# counts N + sum over g=1..G-1 of (N - c_g) evaluations per attempt, with
# c_g = round(N*(0.4 + (0.01-0.4)*g/G)) (at least 1) the survivors kept from
# generation g-1; it excludes the simplex evaluations, the model transforms
# and the reporting, all of which are inside the wall time.  It is a lower
# bound on the throughput of the scoring itself.  ZELT_BENCH_ATTEMPTS,
# ZELT_BENCH_POPULATION and ZELT_BENCH_GENERATIONS change the settings (for a
# quick trial of the script); ZELT_BENCH_ASSEMBLY=0 skips the second run.
# ZELT_SIMD=0 in the environment makes the binary use its scalar
# structure-factor loop.
set -euo pipefail

root=$(pwd)
zelt=$(realpath "${1:-build/zelt}")
seed=${2:-2016}
python=/usr/bin/python3
data=$root/examples/beta-blip
check=$root/tests/app/scripts/placement_check.py
attempts=${ZELT_BENCH_ATTEMPTS:-20} population=${ZELT_BENCH_POPULATION:-300} generations=${ZELT_BENCH_GENERATIONS:-50}

[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
[[ -f $data/beta_blip.mtz ]] || { echo "run from the repository root" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelt-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Evolutionary evaluations of one attempt.
evaluations() {
    awk -v n="$1" -v g="$2" 'BEGIN {
        total = n
        for (i = 1; i < g; ++i) {
            c = int(n * (0.4 + (0.01 - 0.4) * i / g) + 0.5)
            if (c < 1) c = 1
            total += n - c
        }
        print total
    }'
}

source "$(dirname "${BASH_SOURCE[0]}")/placement_count.sh"

per_attempt=$(evaluations $population $generations)
settings="-e $seed -w 2 -n $attempts -p $population -g $generations"
echo "zelt: $zelt"
echo "seed $seed, $attempts attempts, population $population, $generations generations"
echo "evolutionary evaluations per attempt: $per_attempt (simplex evaluations excluded)"
echo

# 1. Beta-lactamase alone.
mkdir "$work/beta"
cd "$work/beta"
start=$(date +%s.%N)
"$zelt" $settings -o beta "$data/beta_blip.mtz" "$data/beta.pdb" >out.txt
end=$(date +%s.%N)
wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
found=$(count_matches A A beta.*.pdb)
rate=$(awk -v e="$per_attempt" -v n=$attempts -v t="$wall" 'BEGIN { printf "%.0f", e * n / t }')
echo "beta alone: wall time $wall s; attempts placing beta correctly: $found/$attempts;" \
     "$rate evaluations/s"
grep '^Solution' out.txt | sed 's/^/  /'
echo

[[ ${ZELT_BENCH_ASSEMBLY:-1} == 0 ]] && exit 0

# 2. Assembly: beta-lactamase, then BLIP with beta fixed.
mkdir "$work/assembly"
cd "$work/assembly"
printf '%s\n%s\n' "$data/beta.pdb" "$data/blip.pdb" >models.txt
start=$(date +%s.%N)
"$zelt" $settings -a -o asm "$data/beta_blip.mtz" @models.txt >out.txt
end=$(date +%s.%N)
wall=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
found_beta=$(count_matches A A asm.1.*.pdb)
found_blip=$(count_matches B AB asm.2.*.pdb)
rate=$(awk -v e="$per_attempt" -v n=$((2 * attempts)) -v t="$wall" 'BEGIN { printf "%.0f", e * n / t }')
echo "assembly beta then BLIP: wall time $wall s; attempts placing beta correctly:" \
     "$found_beta/$attempts; attempts placing BLIP correctly (beta fixed): $found_blip/$attempts;" \
     "$rate evaluations/s"
grep -E '^(Solution|Model)' out.txt | sed 's/^/  /'

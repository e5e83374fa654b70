#!/usr/bin/env bash
# Speed-up of spreading the attempts over MPI ranks: the same search with
# `mpirun -np 1` and `mpirun -np 2`, each rank bound to one core (so oneTBB
# runs one worker thread per rank), on the bundled beta-lactamase/BLIP data.
#
#   bash bench/mpi_speedup.sh [path/to/mpi-zelt]
#
# Run from the repository root after building the MPI variant:
#   cmake -S . -B build-mpi -DZELT_MPI=ON && cmake --build build-mpi --target zelt
# Prints the wall time of each run, the ratio, and whether the two runs
# printed the same thing (elapsed time aside). ZELT_BENCH_ATTEMPTS,
# ZELT_BENCH_POPULATION, ZELT_BENCH_GENERATIONS and ZELT_BENCH_RANKS change
# the settings (defaults 8, 300, 50 and 2: the program's own search effort;
# a much smaller search is so short that reading the inputs and building the
# transforms, which every rank does, weighs on the ratio). The ratio is only
# meaningful on a machine with at least that many otherwise idle cores.
set -euo pipefail

zelt=$(realpath "${1:-build-mpi/zelt}")
data=$(pwd)/examples/beta-blip
attempts=${ZELT_BENCH_ATTEMPTS:-8} population=${ZELT_BENCH_POPULATION:-300}
generations=${ZELT_BENCH_GENERATIONS:-50} ranks=${ZELT_BENCH_RANKS:-2}
[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
[[ -f $data/beta_blip.mtz ]] || { echo "run from the repository root" >&2; exit 1; }
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1

work=$(mktemp -d "${TMPDIR:-/tmp}/zelt-mpi-bench-XXXXXX")
trap 'rm -rf "$work"' EXIT
args=(-e 2016 -w 0 -h 4 -n "$attempts" -p "$population" -g "$generations" "$data/beta_blip.mtz" "$data/beta.pdb")

run() {
    local n=$1 start end
    start=$(date +%s.%N)
    mpirun --bind-to core --map-by core -np "$n" "$zelt" "${args[@]}" | grep -v '^Total elapsed time' > "$work/out.$n"
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' 
}

echo "search: ${args[*]}"
one=$(run 1)
many=$(run "$ranks")
awk -v a="$one" -v b="$many" -v n="$ranks" 'BEGIN {
    printf "np 1: %.2f s\nnp %d: %.2f s\nspeed-up: %.2f (target >= 1.8 for 2 ranks on idle cores)\n", a, n, b, a / b }' 
if cmp -s "$work/out.1" "$work/out.$ranks"; then echo "same output: yes"; else echo "same output: NO"; fi
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores"

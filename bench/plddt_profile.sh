#!/usr/bin/env bash
# What reading a predicted model's B column as pLDDT does to the search.
#
#   bash bench/plddt_profile.sh [path/to/zelt] [seed]
#
# Run from the repository root after a build. The bundled beta-lactamase
# model gets a pLDDT-like profile: residues ranked by their mean B, the
# fraction f of the rank (0 = best ordered) gives pLDDT = 96 - 40 f^3, so
# about one residue in eight falls below 70, as the loops and ends of a
# typical predicted model do. The profile replaces the B column and a title
# line declares a prediction. Four searches from one seed then place:
#   1. beta.pdb with its refined B factors (the reference point);
#   2. the predicted file as it is (pLDDT read as B);
#   3. -P model.b-factor=plddt (converted, residues below 70 dropped);
#   4. the same with model.plddt-threshold=0 (converted, nothing dropped).
# It first prints the CC of each version at the correct placement (beta as
# the reference solution has it, scored without search or refinement), then,
# for each search, how many attempts put beta where the reference solution
# has it (90% of the C-alpha atoms within 2 A) and the mean CC of those.
# ZELT_BENCH_ATTEMPTS, ZELT_BENCH_POPULATION and ZELT_BENCH_GENERATIONS set
# the search (defaults 5, 300, 50: the default search, small samples);
# ZELT_BENCH_SEARCHES lists the searches to run (default: all four).
set -euo pipefail

root=$(pwd)
zelt=$(realpath "${1:-build/zelt}")
seed=${2:-7}
python=/usr/bin/python3
data=$root/examples/beta-blip
check=$root/tests/app/scripts/placement_check.py
searches=${ZELT_BENCH_SEARCHES:-refined-b plddt-as-b converted-trimmed converted-all}
attempts=${ZELT_BENCH_ATTEMPTS:-5} population=${ZELT_BENCH_POPULATION:-300} generations=${ZELT_BENCH_GENERATIONS:-50}

[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zelt-plddt-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$python" - "$data/beta.pdb" "$data/reference_solution.pdb" "$work" <<'PY'
import sys
beta, reference, work = sys.argv[1:4]
title = 'TITLE     ALPHAFOLD-LIKE PREDICTION (PLDDT PROFILE MADE FROM B)\n'
lines = [l.rstrip('\n') for l in open(beta) if l.startswith(('ATOM  ', 'HETATM'))]
key = lambda l: l[17:20] + l[22:27]
b = {}
for l in lines:
    b.setdefault(key(l), []).append(float(l[60:66]))
order = sorted(b, key=lambda k: sum(b[k]) / len(b[k]))
plddt = {k: 96 - 40 * (i / (len(order) - 1)) ** 3 for i, k in enumerate(order)}
def write(name, atoms, values, header=''):
    with open(work + '/' + name, 'w') as out:
        out.write(header)
        for l in atoms:
            out.write(l[:60] + '%6.2f' % values[key(l)] + l[66:] + '\n')
write('predicted.pdb', lines, plddt, title)
# Beta-lactamase as placed in the reference solution, with either B column.
placed = [l.rstrip('\n') for l in open(reference) if l.startswith('ATOM  ') and l[21] == 'A']
write('placed_b.pdb', placed, {k: sum(v) / len(v) for k, v in b.items()})  # residue means
write('placed_plddt.pdb', placed, plddt, title)
# The reference without the residues the trimmed model lacks.
with open(work + '/reference70.pdb', 'w') as out:
    for l in open(reference):
        if l.startswith('CRYST1') or (l.startswith('ATOM  ') and l[21] == 'A' and plddt.get(key(l), 0) >= 70):
            out.write(l)
print('residues', len(order), 'below 70:', sum(v < 70 for v in plddt.values()))
PY
run() {  # name, model, reference, extra options
    local name=$1 model=$2 reference=$3
    shift 3
    [[ " $searches " == *" $name "* ]] || return 0
    mkdir "$work/$name"
    (cd "$work/$name" && "$zelt" -e "$seed" -n "$attempts" -p "$population" -g "$generations" -w 2 -o s "$@" \
        "$data/beta_blip.mtz" "$model" >out.txt)
    local found=0 sum=0 i cc line
    for ((i = 1; i <= attempts; ++i)); do
        line=$("$python" "$check" "$work/$name/s.$i.pdb" "$reference" A | grep "^chain A ") || line=""
        if awk '{ exit !($6 >= 0.9) }' <<<"$line"; then
            cc=$(awk -v n="$i" '$1 == "Solution" && $2 == n { print $3 }' "$work/$name/out.txt")
            found=$((found + 1))
            sum=$(awk -v a="$sum" -v b="$cc" 'BEGIN { print a + b }')
        fi
    done
    local mean=$(awk -v s="$sum" -v n="$found" 'BEGIN { if (n) printf "%.3f", s / n; else print "-" }')
    echo "$name: placed correctly in $found/$attempts attempts, mean CC of those $mean"
    grep -E "^  (B factors|this looks)" "$work/$name/out.txt" | sed 's/^/    /' || true
}

# CC at the correct placement itself (no search, no refinement).
at_placement() {  # name, model, extra options
    local name=$1 model=$2
    shift 2
    local cc=$(cd "$work" && "$zelt" -g 0 -w 0 -P optimizer.local=none "$@" "$data/beta_blip.mtz" "$model" |
        awk '$1 == "Solution" { print $3 }')
    echo "$name: CC at the correct placement $cc"
}
echo "scores at the correct placement"
at_placement refined-b placed_b.pdb
at_placement plddt-as-b placed_plddt.pdb
at_placement converted-trimmed placed_plddt.pdb -P model.b-factor=plddt
at_placement converted-all placed_plddt.pdb -P model.b-factor=plddt -P model.plddt-threshold=0
echo
echo "searches: seed $seed, $attempts attempts, population $population, $generations generations"
ref=$data/reference_solution.pdb
run refined-b "$data/beta.pdb" "$ref"
run plddt-as-b "$work/predicted.pdb" "$ref"
run converted-trimmed "$work/predicted.pdb" "$work/reference70.pdb" -P model.b-factor=plddt
run converted-all "$work/predicted.pdb" "$ref" -P model.b-factor=plddt -P model.plddt-threshold=0

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
# For each it prints how many attempts put beta where the reference solution
# has it (90% of the C-alpha atoms within 2 A) and the mean CC of those.
# ZELT_BENCH_ATTEMPTS, ZELT_BENCH_POPULATION and ZELT_BENCH_GENERATIONS set
# the search (defaults 8, 150, 30: small samples, to keep it short).
set -euo pipefail

root=$(pwd)
zelt=$(realpath "${1:-build/zelt}")
seed=${2:-7}
python=/usr/bin/python3
data=$root/examples/beta-blip
check=$root/tests/app/scripts/placement_check.py
attempts=${ZELT_BENCH_ATTEMPTS:-8} population=${ZELT_BENCH_POPULATION:-150} generations=${ZELT_BENCH_GENERATIONS:-30}

[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/zelt-plddt-XXXXXX")
trap 'rm -rf "$work"' EXIT

"$python" - "$data/beta.pdb" "$work/predicted.pdb" "$data/reference_solution.pdb" "$work/reference70.pdb" <<'PY'
import sys
lines = [l.rstrip('\n') for l in open(sys.argv[1]) if l.startswith(('ATOM  ', 'HETATM'))]
key = lambda l: l[17:27]
b = {}
for l in lines:
    b.setdefault(key(l), []).append(float(l[60:66]))
order = sorted(b, key=lambda k: sum(b[k]) / len(b[k]))
plddt = {k: 96 - 40 * (i / (len(order) - 1)) ** 3 for i, k in enumerate(order)}
with open(sys.argv[2], 'w') as out:
    out.write('TITLE     ALPHAFOLD-LIKE PREDICTION (PLDDT PROFILE MADE FROM B)\n')
    for l in lines:
        out.write(l[:60] + '%6.2f' % plddt[key(l)] + l[66:] + '\n')
print('residues', len(order), 'below 70:', sum(v < 70 for v in plddt.values()))
# The reference without the residues the trimmed model lacks.
kept = {k[0:3] + k[5:10] for k, v in plddt.items() if v >= 70}
with open(sys.argv[4], 'w') as out:
    for l in open(sys.argv[3]):
        if l.startswith('CRYST1') or (l.startswith('ATOM  ') and l[21] == 'A' and l[17:20] + l[22:27] in kept):
            out.write(l)
PY

run() {  # name, model, reference, extra options
    local name=$1 model=$2 reference=$3
    shift 3
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

echo "seed $seed, $attempts attempts, population $population, $generations generations"
ref=$data/reference_solution.pdb
run refined-b "$data/beta.pdb" "$ref"
run plddt-as-b "$work/predicted.pdb" "$ref"
run converted-trimmed "$work/predicted.pdb" "$work/reference70.pdb" -P model.b-factor=plddt
run converted-all "$work/predicted.pdb" "$ref" -P model.b-factor=plddt -P model.plddt-threshold=0

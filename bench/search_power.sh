#!/usr/bin/env bash
# Search power of the two translation-search modes on the bundled
# beta-lactamase/BLIP data, side by side in one run.
#
#   bash bench/search_power.sh [--quick] [--mode MODE] [path/to/zelt] [seed]
#
# Run from the repository root after a build (default binary: build/zelt).
# For each mode (optimizer.translation = evolutionary, then fft), with that
# mode's default search settings:
#   1. beta-lactamase alone: the share of attempts whose solution puts it
#      where reference_solution.pdb has it;
#   2. BLIP with beta-lactamase fixed at its reference placement (-s with
#      chain A of the reference): the share of attempts placing BLIP;
#   3. the default assembly search (-a, beta-lactamase then BLIP): its wall
#      time, and whether its best solution places both.
# "Placed" means at least 90% of the C-alpha atoms within 2 A of the
# reference, up to crystal symmetry and origin choice
# (tests/app/scripts/placement_check.py).  Items 1 and 2 use 20 attempts.
# The whole run takes about seven minutes on two cores; --quick
# runs 4 attempts for items 1 and 2 and skips item 3; --mode runs one mode
# alone (the other column then reads "not run").
set -euo pipefail

quick=0
modes=(evolutionary fft)
while [[ ${1:-} == --* ]]; do
    case $1 in
        --quick) quick=1; shift ;;
        --mode) modes=("$2"); shift 2 ;;
        *) echo "unknown option $1" >&2; exit 1 ;;
    esac
done
root=$(pwd)
zelt=$(realpath "${1:-build/zelt}")
seed=${2:-2016}
python=/usr/bin/python3
data=$root/examples/beta-blip
check=$root/tests/app/scripts/placement_check.py
attempts=20
((quick)) && attempts=4

[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
[[ -f $data/beta_blip.mtz ]] || { echo "run from the repository root" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelt-power-XXXXXX")
trap 'rm -rf "$work"' EXIT

# Chain A of the reference: beta-lactamase at its published placement.
grep -E '^(CRYST1|ATOM  .{15}A)' "$data/reference_solution.pdb" >"$work/beta_ref.pdb"
printf '%s\n%s\n' "$data/beta.pdb" "$data/blip.pdb" >"$work/models.txt"

source "$(dirname "${BASH_SOURCE[0]}")/placement_count.sh"

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }'; }

declare -A result
for mode in evolutionary fft; do
    for item in beta blip asm; do result[$mode.$item]="not run"; done
done
for mode in "${modes[@]}"; do
    run="$zelt -e $seed -P optimizer.translation=$mode"
    dir=$work/$mode
    mkdir -p "$dir/beta" "$dir/blip" "$dir/asm"

    cd "$dir/beta"
    start=$(date +%s.%N)
    $run -w 2 -n $attempts "$data/beta_blip.mtz" "$data/beta.pdb" >out.txt
    result[$mode.beta]="$(count_matches A A zelt.*.pdb)/$attempts ($(seconds_since "$start") s)"

    cd "$dir/blip"
    start=$(date +%s.%N)
    $run -w 2 -n $attempts -s "$work/beta_ref.pdb" "$data/beta_blip.mtz" "$data/blip.pdb" >out.txt
    result[$mode.blip]="$(count_matches B AB zelt.*.pdb)/$attempts ($(seconds_since "$start") s)"

    if ((quick)); then
        result[$mode.asm]="skipped (--quick)"
        continue
    fi
    cd "$dir/asm"
    start=$(date +%s.%N)
    $run -w 1 -a "$data/beta_blip.mtz" @"$work/models.txt" >out.txt
    wall=$(seconds_since "$start")
    both=no
    [[ $(count_matches A AB zelt.best.pdb) == 1 && $(count_matches B AB zelt.best.pdb) == 1 ]] && both=yes
    result[$mode.asm]="$wall s, best places both: $both"
done

echo "zelt: $zelt"
echo "seed $seed; each mode with its default settings; $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-42s %-28s %-28s\n' "" "evolutionary" "fft"
printf '%-42s %-28s %-28s\n' "beta alone, attempts placing it" "${result[evolutionary.beta]}" "${result[fft.beta]}"
printf '%-42s %-28s %-28s\n' "BLIP, beta fixed, attempts placing it" "${result[evolutionary.blip]}" "${result[fft.blip]}"
printf '%-42s %-28s %-28s\n' "default -a search" "${result[evolutionary.asm]}" "${result[fft.asm]}"

#!/usr/bin/env bash
# A panel of molecular-replacement problems of different kinds, each searched
# in the default mode and in the fft translation mode with its defaults
# (-P optimizer.translation=fft), to compare search settings across problems.
#
#   bash bench/search_panel.sh [--quick] [--case NAME]... [--mode MODE]...
#        [--seed N] [--case-seed N] [--work DIR] [-P key=value]...
#        [path/to/zelt] [seed]
#
# Run from the repository root after a build (default binary: build/zelt).
# Cases (--case picks some; default all):
#   beta      beta-lactamase alone against the bundled data (examples/beta-blip);
#   blip      BLIP with beta-lactamase fixed at its reference placement (-s);
#   small     two copies (-m 2) of a 50-residue piece of beta-lactamase in a
#             generated P21212 crystal, 38 x 39 x 64 A, 2 A data with bulk
#             solvent and noise; the search model carries 0.5 A of errors;
#   degraded  beta-lactamase with smooth errors of 1.5 A RMS, side chains cut
#             back to C-beta, against the bundled data;
#   ensemble  three such models, each with its own errors, in one file as
#             MODELs (merged by the program).
# Modes (--mode picks one or both): default, fft.  Every -P setting given is
# passed to every run.  Each run makes 10 attempts (-n 10; --quick: 3) with
# seed 2016 (--seed or the second argument).
#
# Prints one line per case and mode: the attempts whose coordinates are
# correct, the best solution's CC, its translation and score Z-scores when
# the run record (PREFIX.json) has them ("-" otherwise), the verdict, the
# wall time and the processor time (user and system, all threads; on a busy
# machine the better measure of cost).  "Correct" means at least 90% of the C-alpha atoms within 2 A of
# the known answer, up to symmetry and origin choice
# (tests/app/scripts/placement_check.py); for "small", both copies in the
# files of the second copy step (in brackets: the first step's attempts
# placing either copy).
#
# The generated cases (bench/panel/make_cases.py, seed 1 or --case-seed) are
# cached under the work folder (default ${TMPDIR:-/tmp}/zelt-panel) and made
# again only when the generators or the example files change (about 10 s).
#
# Time, measured with the baseline binary on a shared two-core machine under
# heavy load from other work: the quick panel took 6 minutes of wall time
# (90 s of processor time) in the fft mode and 5 minutes (75 s) in the
# default mode; the full panel (10 attempts) takes about 3.3 times as long,
# about 35 minutes of wall time on such a machine, about 9 minutes of
# processor time (some 5 minutes on two idle cores).
set -euo pipefail

quick=0 seed=2016 case_seed=1
cases=() modes=() settings=()
work=${TMPDIR:-/tmp}/zelt-panel
all_cases=(beta blip small degraded ensemble)
usage() { sed -n '6,8p' "${BASH_SOURCE[0]}" | sed 's/^# *//' >&2; exit 1; }
while [[ $# -gt 0 ]]; do
    case $1 in
        --quick) quick=1; shift ;;
        --case) [[ " ${all_cases[*]} " == *" ${2:-?} "* ]] || { echo "unknown case ${2:-}" >&2; exit 1; }
                cases+=("$2"); shift 2 ;;
        --mode) [[ ${2:-} == default || ${2:-} == fft ]] || { echo "unknown mode ${2:-} (default or fft)" >&2; exit 1; }
                modes+=("$2"); shift 2 ;;
        --seed) seed=$2; shift 2 ;;
        --case-seed) case_seed=$2; shift 2 ;;
        --work) work=$2; shift 2 ;;
        -P) settings+=(-P "$2"); shift 2 ;;
        --*|-?) usage ;;
        *) break ;;
    esac
done
((${#cases[@]})) || cases=("${all_cases[@]}")
((${#modes[@]})) || modes=(default fft)
root=$(pwd)
zelt=$(realpath "${1:-build/zelt}")
[[ -n ${2:-} ]] && seed=$2
python=/usr/bin/python3
data=$root/examples/beta-blip
check=$root/tests/app/scripts/placement_check.py
panel=$root/bench/panel
attempts=10
((quick)) && attempts=3

[[ -x $zelt ]] || { echo "no zelt binary at $zelt" >&2; exit 1; }
[[ -f $data/beta_blip.mtz ]] || { echo "run from the repository root" >&2; exit 1; }

# The generated cases, made again when a generator or an input changes.
stamp=$(cat "$panel"/*.py "$data/beta.pdb" "$data/reference_solution.pdb" | md5sum | cut -c1-12)
gen=$work/cases-$case_seed-$stamp
if [[ ! -f $gen/summary.txt ]]; then
    rm -rf "$gen"
    mkdir -p "$gen"
    "$python" "$panel/make_cases.py" "$gen" "$case_seed" "$data" >/dev/null
    grep -E '^(CRYST1|ATOM  .{15}A)' "$data/reference_solution.pdb" >"$gen/beta_ref.pdb"
fi

# Inputs per case: data, model, answer, reference chains in the answer, the
# chains that must be placed, extra options.
declare -A in_data in_model in_answer in_chains in_need in_extra
for c in beta blip degraded ensemble; do in_data[$c]=$data/beta_blip.mtz; done
in_data[small]=$gen/small/data.mtz
in_model=([beta]=$data/beta.pdb [blip]=$data/blip.pdb [small]=$gen/small/model.pdb
          [degraded]=$gen/degraded/model.pdb [ensemble]=$gen/ensemble/model.pdb)
in_answer=([beta]=$data/reference_solution.pdb [blip]=$data/reference_solution.pdb
           [small]=$gen/small/answer.pdb [degraded]=$gen/degraded/answer.pdb
           [ensemble]=$gen/ensemble/answer.pdb)
in_chains=([beta]=A [blip]=AB [small]=AB [degraded]=A [ensemble]=A)
in_need=([beta]=A [blip]=B [small]=AB [degraded]=A [ensemble]=A)
in_extra=([beta]="" [blip]="-s $gen/beta_ref.pdb" [small]="-m 2" [degraded]="" [ensemble]="")

# Number of files among the rest whose check places the chains in $3
# ("any": one of them is enough) of answer $1 (chains $2 fix the origin).
count_correct() {
    local answer=$1 chains=$2 need=$3 how=$4 n=0 f out
    shift 4
    for f in "$@"; do
        # A failing check counts as no match rather than losing the run.
        out=$("$python" "$check" "$f" "$answer" "$chains" 2>/dev/null) || out=""
        awk -v need="$need" -v how="$how" '
            index(need, $2) && $6 >= 0.9 { ok++ }
            END { exit !(how == "any" ? ok >= 1 : ok == length(need)) }' <<<"$out" && n=$((n + 1))
    done
    echo "$n"
}

seconds_since() { awk -v a="$1" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }'; }

run_case() {
    local c=$1 mode=$2 dir=$work/runs/$1.$2 start files correct
    local -a mode_opts=()
    [[ $mode == fft ]] && mode_opts=(-P optimizer.translation=fft)
    rm -rf "$dir"; mkdir -p "$dir"; cd "$dir"
    start=$(date +%s.%N)
    # shellcheck disable=SC2086 # in_extra holds separate words
    /usr/bin/time -f '%U %S' -o cpu.txt "$zelt" -e "$seed" -n "$attempts" -w 2 "${mode_opts[@]}" "${settings[@]}" ${in_extra[$c]} \
        "${in_data[$c]}" "${in_model[$c]}" >out.txt 2>err.txt || echo "(zelt failed, status $?)" >>err.txt
    local wall cpu
    wall=$(seconds_since "$start")
    cpu=$(tail -n 1 cpu.txt 2>/dev/null | awk '{ printf "%.0f", $1 + $2 }') || cpu="-"
    if [[ $c == small ]]; then
        shopt -s nullglob; files=(zelt.2.*.pdb); local first=(zelt.1.*.pdb); shopt -u nullglob
        correct="$(count_correct "${in_answer[$c]}" AB AB all "${files[@]}")/$attempts"
        correct+=" ($(count_correct "${in_answer[$c]}" AB AB any "${first[@]}"))"
    else
        shopt -s nullglob; files=(zelt.[0-9]*.pdb); shopt -u nullglob
        correct="$(count_correct "${in_answer[$c]}" "${in_chains[$c]}" "${in_need[$c]}" all "${files[@]}")/$attempts"
    fi
    read -r cc tfz sz verdict < <("$python" "$panel/record.py" zelt.json)
    printf '%-9s %-8s %-12s %6s %6s %6s  %-16s %7s %7s\n' "$c" "$mode" "$correct" "$cc" "$tfz" "$sz" \
        "${verdict//_/ }" "$wall s" "$cpu s"
    cd "$root"
}

echo "zelt: $zelt"
echo "seed $seed, $attempts attempts per run, cases from seed $case_seed in $gen"
echo "extra settings: ${settings[*]:-none}; $(nproc) processors, load $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-9s %-8s %-12s %6s %6s %6s  %-16s %7s %7s\n' case mode correct CC TFZ "Z" verdict wall cpu
for c in "${cases[@]}"; do
    for mode in "${modes[@]}"; do run_case "$c" "$mode"; done
done

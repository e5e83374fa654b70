# Sourced by the search benchmarks: counts the coordinate files that place a
# chain of the bundled reference solution. Expects $python (the Python with
# gemmi), $check (tests/app/scripts/placement_check.py) and $data
# (examples/beta-blip) to be set. "Placed" means at least 90% of the C-alpha
# atoms within 2 A of the reference, up to crystal symmetry and origin choice.

# Number of files among "$@" where reference chain $1 is found (the other
# reference chains listed in $2 fix the common origin).
count_matches() {
    local chain=$1 chains=$2 n=0 f line
    shift 2
    for f in "$@"; do
        # A failing check counts as no match rather than losing the run.
        line=$("$python" "$check" "$f" "$data/reference_solution.pdb" "$chains" | grep "^chain $chain ") || line=""
        awk '{ exit !($6 >= 0.9) }' <<<"$line" && n=$((n + 1))
    done
    echo "$n"
}

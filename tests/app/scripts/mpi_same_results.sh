#!/usr/bin/env bash
# Spreading the attempts over MPI ranks changes nothing but the elapsed time:
# small searches give byte-identical standard output and identical coordinate
# files from the program built without MPI, from `mpirun -np 1` and from
# `mpirun -np 3` (attempt counts that are not multiples of 3). A rank that
# fails, before or during the search, ends the whole job with the message a
# single process gives and a non-zero status, within a bounded time.
#
# usage: mpi_same_results.sh serial-zelt mpi-zelt examples-dir work-dir
set -uo pipefail
serial=$1 mpi=$2 examples=$3 work=$4
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMP_NUM_THREADS=1
mpirun_n() { local n=$1; shift; timeout -s KILL 120 mpirun --oversubscribe -np "$n" "$@"; }
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 1
work=$(pwd)
mtz=$examples/beta_blip.mtz
# Two models for the assembly search; a copy of beta in two segments (the
# segment split appends models during the attempts).
printf '%s\n%s\n' "$examples/beta.pdb" "$examples/blip.pdb" > models.lst
awk '/^ATOM|^HETATM/ { n++; printf "%-72s%-4s\n", substr($0, 1, 72), (n <= 1000 ? "SEGA" : "SEGB"); next } { print }' \
    "$examples/beta.pdb" > segmented.pdb

small="-h 6 -g 4 -p 24"
# The fft attempts refine a few candidates each, not the default twenty.
few="-P optimizer.translation.candidates=5"
cases=(
  "-e 11 $small -n 5 -m 2 $mtz $examples/beta.pdb"
  "-e 12 $small -n 4 -a -P report.evolution=generations $mtz @$work/models.lst"
  "-e 13 $small -n 4 -A -w 1 $mtz @$work/models.lst"
  "-e 14 $small -n 2 -m 2 -R $mtz $work/segmented.pdb"
  "-e 15 -h 6 -g 0 -n 2 -T $mtz $work/segmented.pdb"
  "-e 16 $small -n 4 -C -m 2 -w 1 $mtz $examples/beta.pdb"
  "-e 17 -h 6 -g 3 -p 16 -n 4 -m 2 -P optimizer.translation=fft -P optimizer.orientation=evolutionary $few $mtz $work/segmented.pdb"
  "-e 18 -h 6 -n 2 -T -P optimizer.translation=fft $mtz $examples/beta.pdb"
  "-e 19 -h 6 -n 4 -m 2 -P optimizer.translation=fft -P optimizer.orientation=scan -P optimizer.orientation.spacing=30 $few $mtz $examples/beta.pdb"
)
# Elapsed times differ from run to run: the run's total and each orientation scan's.
without_time() { grep -v '^Total elapsed time: ' | sed -E 's/^(Orientation scan: [0-9]+ orientations) in [0-9.]+ s$/\1/'; }
for i in "${!cases[@]}"; do
  args=${cases[$i]}
  for run in serial np1 np3; do
    mkdir -p "case$i/$run"
    (
      cd "case$i/$run" || exit 1
      case $run in
        serial) timeout -s KILL 120 "$serial" $args ;;
        np1) mpirun_n 1 "$mpi" $args ;;
        np3) mpirun_n 3 "$mpi" $args ;;
      esac > stdout.txt 2> stderr.txt
      echo $? > status.txt
    )
    [ "$(cat "case$i/$run/status.txt")" = 0 ] || fail "case $i ($args) $run: status $(cat "case$i/$run/status.txt")"
  done
  for run in np1 np3; do
    if ! cmp -s <(without_time < "case$i/serial/stdout.txt") <(without_time < "case$i/$run/stdout.txt"); then
      fail "case $i ($args): standard output of $run differs"
      diff <(without_time < "case$i/serial/stdout.txt") <(without_time < "case$i/$run/stdout.txt") | head -20
    fi
    grep -q '^Total elapsed time: ' "case$i/$run/stdout.txt" || fail "case $i: $run reports no elapsed time"
    expected=$(cd "case$i/serial" && ls *.pdb 2>/dev/null)
    [ "$expected" = "$(cd "case$i/$run" && ls *.pdb 2>/dev/null)" ] || fail "case $i: $run wrote other files"
    for f in $expected; do cmp -s "case$i/serial/$f" "case$i/$run/$f" || fail "case $i: $run $f differs"; done
  done
  [ -n "$(cd "case$i/serial" && ls *.pdb 2>/dev/null)" ] || fail "case $i: no coordinate file written"
done

# A rank that cannot read its model (missing on its node): the message of a
# single process, once, and status 1 from the job.
"$serial" -h 6 -g 4 -n 3 "$mtz" missing.pdb > /dev/null 2> single.err
cat > per_rank.sh <<EOS
#!/usr/bin/env bash
model=$examples/beta.pdb
[ "\$OMPI_COMM_WORLD_RANK" = 1 ] && model=missing.pdb
exec "$mpi" -h 6 -g 4 -n 3 "$mtz" "\$model"
EOS
chmod +x per_rank.sh
start=$SECONDS
mpirun_n 3 ./per_rank.sh > /dev/null 2> rank.err
status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 137 ] || fail "missing model on rank 1: status $status"
[ "$(grep -c 'Exiting' rank.err)" = 1 ] || fail "missing model on rank 1: message not printed once"
grep -qF "$(sed -n 1p single.err | sed "s|^$serial||")" rank.err || fail "missing model on rank 1: other message"
sed -n 1p single.err | sed "s|^$serial||" | grep -q 'missing.pdb' || fail "single process: unexpected message"

# A failure during the search (rank 0 cannot write its first file): the
# message, and the waiting ranks end too.
"$serial" -h 6 -g 2 -p 12 -n 3 -o no/such/dir/x "$mtz" "$examples/beta.pdb" > /dev/null 2> single.err
mpirun_n 3 "$mpi" -h 6 -g 2 -p 12 -n 3 -o no/such/dir/x "$mtz" "$examples/beta.pdb" > /dev/null 2> search.err
status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 137 ] || fail "write failure: status $status"
grep -qF "$(sed -n 1p single.err | sed "s|^$serial||")" search.err || fail "write failure: other message"

# A rank killed during its search ends the job.
cat > killed_rank.sh <<EOS
#!/usr/bin/env bash
if [ "\$OMPI_COMM_WORLD_RANK" = 2 ]; then
  "$mpi" -h 6 -g 50 -n 30 "$mtz" "$examples/beta.pdb" & pid=\$!
  sleep 2; kill -9 \$pid; wait \$pid; exit 9
fi
exec "$mpi" -h 6 -g 50 -n 30 "$mtz" "$examples/beta.pdb"
EOS
chmod +x killed_rank.sh
mpirun_n 3 ./killed_rank.sh > /dev/null 2> killed.err
status=$?
[ "$status" -ne 0 ] && [ "$status" -ne 137 ] || fail "killed rank: status $status (137: the job hung)"
echo "elapsed in fault checks: $((SECONDS - start)) s"
[ "$failures" = 0 ] && echo "all MPI checks passed"
exit $((failures != 0))

#!/usr/bin/env bash
# The calibration search over MPI ranks against a one-thread search with the
# same settings on the small catchment: "min-ris.txt", "sceout.dat",
# "outlet.out" and "sce_evaluations.csv" must be byte-identical. A rank
# killed during the search must end the job (non-zero status, no hang) and
# --resume must then end like the whole search; a rank that cannot load the
# inputs, or reads an observed or rain file other than rank 0's, must end the
# job with an error.
# Usage: scripts/mpi_check.sh [tarvex built with -DTARVEX_MPI=ON]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tarvex="$(realpath "${1:-$root/build-mpi/tarvex}")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 OMPI_MCA_rmaps_base_oversubscribe=1
mpirun=(mpirun --oversubscribe)
files=(min-ris.txt sceout.dat outlet.out sce_evaluations.csv)

setup() {  # dir: the small catchment with a short search of 4 complexes
  cp -r "$root/tests/data/small" "$1"
  { printf ' 1000    5 0.01    4    7    0\n'; tail -n +2 "$root/tests/data/small/scein.dat"; } >"$1/scein.dat"
}

setup "$work/ref"
(cd "$work/ref" && timeout 120 "$tarvex" --search -j 1 >/dev/null)

fail=0
for run in "2 1" "3 2"; do
  set -- $run
  dir="$work/np$1-j$2"
  setup "$dir"
  (cd "$dir" && timeout 120 "${mpirun[@]}" -np "$1" "$tarvex" --search -j "$2" >/dev/null)
  for f in "${files[@]}"; do
    if ! cmp -s "$work/ref/$f" "$dir/$f"; then
      echo "mpi_check: $f of $1 ranks x $2 threads differs from the one-thread search" >&2
      fail=1
    fi
  done
done

# Rank 1 killed once the first loop is saved; the resumed search ends alike.
dir="$work/killed"
setup "$dir"
(cd "$dir" && exec timeout 120 "${mpirun[@]}" -np 1 "$tarvex" --search -j 1 \
  : -np 1 sh -c 'echo $$ >rank1.pid; exec "$0" --search -j 1' "$tarvex" >/dev/null 2>&1) &
job=$!
for _ in $(seq 1200); do [ -f "$dir/sce_checkpoint.txt" ] && [ -f "$dir/rank1.pid" ] && break; sleep 0.05; done
kill -9 "$(cat "$dir/rank1.pid")" 2>/dev/null || true
set +e
wait "$job"
status=$?
set -e
if [ "$status" -eq 0 ] || [ "$status" -eq 124 ]; then
  echo "mpi_check: the job with a killed rank gave status $status" >&2
  fail=1
fi
(cd "$dir" && timeout 120 "${mpirun[@]}" -np 2 "$tarvex" --search -j 1 --resume >/dev/null)
for f in "${files[@]}"; do
  if ! cmp -s "$work/ref/$f" "$dir/$f"; then
    echo "mpi_check: $f of the search resumed after a killed rank differs from the one-thread search" >&2
    fail=1
  fi
done

# Rank 1 misses the rain file: every rank stops before the search.
setup "$work/good"
setup "$work/bad"
rm -f "$work/bad/rain.txt"
set +e
timeout 60 "${mpirun[@]}" -np 1 "$tarvex" --search -j 1 -C "$work/good" : -np 1 "$tarvex" --search -j 1 -C "$work/bad" \
  >"$work/load.out" 2>"$work/load.err"
status=$?
set -e
if [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || ! grep -q "rank 1 of the MPI job could not load" "$work/load.err"; then
  echo "mpi_check: a rank without inputs gave status $status:" >&2
  cat "$work/load.err" >&2
  fail=1
fi
# Rank 1 reads another obs.txt, then another rain.txt: the job stops before
# the search, naming the file, and rank 0 writes no evaluation.
for f in obs.txt rain.txt; do
  rm -rf "$work/same" "$work/other"
  setup "$work/same"
  setup "$work/other"
  if [ "$f" = obs.txt ]; then
    awk 'NR <= 2 { print; next } { printf "%.5f\n", $1 * 1.3 }' "$work/same/obs.txt" >"$work/other/obs.txt"
  else
    sed '0,/ 0\.00 / s// 3.00 /' "$work/same/rain.txt" >"$work/other/rain.txt"
  fi
  set +e
  timeout 60 "${mpirun[@]}" -np 1 "$tarvex" --search -j 1 -C "$work/same" : -np 1 "$tarvex" --search -j 1 -C "$work/other" \
    >"$work/inputs.out" 2>"$work/inputs.err"
  status=$?
  set -e
  if [ "$status" -eq 0 ] || [ "$status" -eq 124 ] || [ -e "$work/same/min-ris.txt" ] ||
     ! grep -q "file '$f'.* differs between rank 0 and rank 1" "$work/inputs.err"; then
    echo "mpi_check: a rank with another $f gave status $status:" >&2
    cat "$work/inputs.err" >&2
    fail=1
  fi
done
# The sensitivity analysis over 3 ranks writes the files of one thread.
for d in sens1 sens3; do rm -rf "$work/$d"; cp -r "$root/tests/data/small" "$work/$d"; done
(cd "$work/sens1" && "$tarvex" --sensitivity sobol --samples 8 -j 1 >/dev/null)
(cd "$work/sens3" && timeout 120 "${mpirun[@]}" -np 3 "$tarvex" --sensitivity sobol --samples 8 -j 1 >/dev/null)
for f in sensitivity.csv sensitivity_evaluations.csv; do
  if ! cmp -s "$work/sens1/$f" "$work/sens3/$f"; then
    echo "mpi_check: $f of the sensitivity analysis over 3 ranks differs from the one-thread analysis" >&2
    fail=1
  fi
done
[ "$fail" -eq 0 ] && echo "mpi_check: searches over 2 and 3 ranks, and one resumed after a killed rank, match the one-thread search, as does a sensitivity analysis; a failed load, or a rank on other inputs, ends the job"
exit "$fail"

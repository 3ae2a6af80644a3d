#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and
# UndefinedBehaviorSanitizer, assertions on) in build-fuzz/ and runs each
# target in turn for a bounded time.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# SECONDS per target (default 60); TARGET one or more of record_reader,
# read_param, scein, terrain, forcing, ascii_grid (default all). Each target starts from
# its seed corpus fuzz/corpus/<target>/ plus fuzz/regressions/<target>/; the
# inputs it finds are kept in build-fuzz/corpus/<target>/ (not committed).
# A crashing, leaking or hanging input is written to
# fuzz/regressions/<target>/ and the script ends with status 1: fix the
# fault, keep the input there as a regression (the normal test run replays
# it) and run the script again.
#
# FUZZ_ARGS adds libFuzzer options, e.g. FUZZ_ARGS="-seed=1 -runs=3000" for
# a short reproducible pass (what CI runs).
#
# With TARVEX_FUZZ_STRICT=1 the read_param target also reports inputs that
# reach the run's last guard (a discharge that is not a number), to find
# values the loading should refuse by file and record.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  targets=(record_reader read_param scein terrain forcing ascii_grid)
fi
build="$root/build-fuzz"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTARVEX_FUZZ=ON \
  -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

status=0
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  regressions="$root/fuzz/regressions/$t"
  mkdir -p "$work" "$regressions"
  echo "== fuzzing $t for $seconds s"
  # One process at a time; inputs up to 8 kB; 10 s or 2 GB for one input is a fault.
  if ! "$build/fuzz_$t" "$work" "$root/fuzz/corpus/$t" "$regressions" \
      -max_total_time="$seconds" -max_len=8192 -timeout=10 -rss_limit_mb=2048 \
      -dict="$root/fuzz/tarvex.dict" -artifact_prefix="$regressions/" -print_final_stats=1 ${FUZZ_ARGS:-} 2>"$build/fuzz_$t.log"; then
    status=1
    echo "!! $t found a fault; see $build/fuzz_$t.log and $regressions/"
    tail -n 30 "$build/fuzz_$t.log"
  else
    grep -E "^(stat::number_of_executed_units|stat::new_units_added)" "$build/fuzz_$t.log" || true
  fi
done
exit $status

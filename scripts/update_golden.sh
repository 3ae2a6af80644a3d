#!/usr/bin/env bash
# Rewrites the golden output files of the end-to-end tests from the current
# build. Run it only after a deliberate change of the results, and review the
# differences (git diff) by hand before committing them.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
tarvex="$root/build/tarvex"
[ -x "$tarvex" ] || { echo "build the program first (make build)" >&2; exit 1; }

# golden SET_DIR GOLDEN_DIR
golden() {
  local set="$1" gold="$2"
  for mode in 2 3 4; do
    local work
    work="$(mktemp -d)"
    cp "$set"/* "$work"/
    (cd "$work" && rm -f min-ris.txt && "$tarvex" --mode "$mode" > stdout.txt)
    rm -rf "$gold/mode$mode"
    mkdir -p "$gold/mode$mode"
    for f in "$work"/*; do
      name="$(basename "$f")"
      [ -f "$set/$name" ] && continue
      cp "$f" "$gold/mode$mode/"
    done
    rm -rf "$work"
  done
}

golden "$root/tests/data/small" "$root/tests/data/small_golden"
golden "$root/examples/catchment" "$root/tests/data/example_golden"
echo "golden files rewritten; review them with git diff"

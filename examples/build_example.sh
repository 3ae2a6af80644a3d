#!/usr/bin/env bash
# Regenerates an example catchment from scratch: inputs from the seeded
# generator, network files from terrain preprocessing (mode 1), synthetic
# observations from a calibration evaluation with the generator's "true"
# parameters plus noise, and the search settings with the initial guesses.
#
#   examples/build_example.sh OUT_DIR [generator options...]
# The bundled example is examples/build_example.sh examples/catchment.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/.." && pwd)"
out="$1"
shift
tarvex="${TARVEX:-$root/build/tarvex}"
[ -x "$tarvex" ] || { echo "build the program first (make build)" >&2; exit 1; }
mkdir -p "$out"
out="$(cd "$out" && pwd)"
python3 "$here/generate_catchment.py" --out "$out" --true-params "$@"
cd "$out"
"$tarvex" --mode 1 >/dev/null
# Observations: the model with the true parameters, plus noise.
"$tarvex" --mode 4 >/dev/null
python3 "$here/make_observations.py" outlet.out obs.txt
rm -f outlet.out min-ris.txt sceout.dat
python3 "$here/generate_catchment.py" --out "$out.tmp" "$@"
cp "$out.tmp/scein.dat" scein.dat
rm -rf "$out.tmp"
echo "example catchment written to $out"

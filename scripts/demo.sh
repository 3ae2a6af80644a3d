#!/usr/bin/env bash
# Runs the default calibration evaluation on the bundled example catchment in
# a scratch copy and draws the hydrographs and the network map when
# matplotlib is available.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
if [ ! -x build/tarvex ]; then
  # The first build takes a few minutes: say so and show its progress.
  echo "Building tarvex in $root/build (first run only; this takes a few minutes) ..."
  cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build --target tarvex -j"$(nproc)"
  echo "Built $root/build/tarvex"
  echo
fi
out="${DEMO_DIR:-$root/out/demo}"
rm -rf "$out"
mkdir -p "$out"
cp examples/catchment/* "$out"/
echo "Running the calibration evaluation of the example catchment in $out ..."
(cd "$out" && "$root/build/tarvex")
echo
echo "Results in $out:"
echo "  sceout.dat   search settings report"
echo "  min-ris.txt  parameters and objective function of the evaluation"
echo "  outlet.out   simulated discharge at the outlet, m3/s per record"
grep "Objective function" "$out/min-ris.txt" | tail -n 1
if python3 -c "import matplotlib" 2>/dev/null || /usr/bin/python3 -c "import matplotlib" 2>/dev/null; then
  py=python3
  python3 -c "import matplotlib" 2>/dev/null || py=/usr/bin/python3
  "$py" "$root/examples/plot_results.py" --dir "$out"
  echo "  hydrograph.png  simulated and observed discharge with the catchment-mean rain"
  echo "  network.png     stream orders over the DEM"
else
  echo "(plots skipped: install python3-matplotlib to draw them)"
fi

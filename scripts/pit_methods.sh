#!/usr/bin/env bash
# The pit methods on the real DEM of scripts/real_dem.sh (344 x 403, whole
# metres) and on that DEM tiled to 4000 x 4000, every other tile mirrored:
# per method the time, peak memory, the cells whose written elevation
# differs from the DEM's and the largest difference; on the large grid the
# phase times (--progress) of fill and breach, reading and writing .asc.
#
# usage: scripts/pit_methods.sh [OUT_DIR] [TARVEX] [SIDE]
#        (defaults: out/pit_methods, build/tarvex, 4000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/pit_methods}
tarvex=$(realpath "${2:-$root/build/tarvex}")
side=${3:-4000}
npz=/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz
ex=$root/examples/catchment
mkdir -p "$out"
cd "$out"
python3 "$root/scripts/npz_to_asc.py" "$npz" elevation dem.asc 83 > /dev/null

# The example's control file for an NI x NJ grid read from dem.asc, outlet
# at the first cell of the last row, grids written under the names given.
control() {
  awk -v ni="$1" -v nj="$2" -v dir="$3" -v elev="$4" -v area="$5" '
    NR == 12 {$0 = "dem.asc"} NR == 18 {$0 = ni " " nj} NR == 20 {$0 = "83. 83."}
    NR == 46 {$0 = ni " 1"} NR == 50 {$0 = "1"} NR == 52 {$0 = dir} NR == 57 {$0 = elev} NR == 59 {$0 = area}
    {print}' "$ex/Tarvex.in" > Tarvex.in
}

# Cells whose value differs between the DEM (.asc) and the written elevations (.asc), largest difference.
changes() {
  awk 'FNR <= 6 {next} NR == FNR {for (k = 1; k <= NF; ++k) dem[++n] = $k; next}
    {for (k = 1; k <= NF; ++k) {d = $k - dem[++m]; if (d < 0) d = -d; if (d > 0.001) {c++; if (d > big) big = d}}}
    END {printf "%d cells changed, largest %.1f m", c, big}' dem.asc elev.asc
}

control 344 403 dir.asc elev.asc area.asc
for method in raise fill breach; do
  /usr/bin/time -f "%e s, %M KB" "$tarvex" --mode 1 --no-limits --pits "$method" > "real-$method.log" 2> "real-$method.time"
  echo "real DEM, $method: $(tail -1 "real-$method.time"); $(changes)"
done

python3 "$root/scripts/tile_asc.py" dem.asc big.asc "$side" "$side" > /dev/null
mv dem.asc real.asc
mv big.asc dem.asc
control "$side" "$side" dir.asc elev.asc area.asc
for method in fill breach; do
  /usr/bin/time -v "$tarvex" --mode 1 --no-limits --pits "$method" --progress > "big-$method.log" 2> "big-$method.time"
  echo "${side}^2, $method: $(grep -E 'Elapsed|Maximum resident|User time|System time' "big-$method.time" | sed 's/^\s*//' | paste -sd ';')"
  grep 'done in' "big-$method.time" | sed 's/^/    /'
  sed 's/^/    /' "big-$method.log"
done
mv real.asc dem.asc

#!/usr/bin/env bash
# Terrain pass and a one-month continuous run on a real DEM with the
# capacities lifted: the 344 x 403 Jacksboro fault DEM of python3-matplotlib's
# sample data, written as an ESRI ASCII grid with a nominal square cell of
# 83 m. Times and peak memory of both runs go to OUT/time-*.txt.
#
# usage: scripts/real_dem.sh [OUT_DIR] [TARVEX]   (defaults: out/real_dem, build/tarvex)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$root/out/real_dem}
tarvex=$(realpath "${2:-$root/build/tarvex}")
npz=/usr/share/matplotlib/mpl-data/sample_data/jacksboro_fault_dem.npz
ex=$root/examples/catchment
records=744
mkdir -p "$out"
cd "$out"

python3 "$root/scripts/npz_to_asc.py" "$npz" elevation dem.asc 83
ni=$(awk '$1 == "nrows" {print $2}' dem.asc)
nj=$(awk '$1 == "ncols" {print $2}' dem.asc)

# The example's control file with this grid, outlet (OI, OJ) and cross-section (SI, SJ).
control() {
  awk -v ni="$ni" -v nj="$nj" -v n="$records" -v oi="$1" -v oj="$2" -v si="$3" -v sj="$4" '
    NR == 12 {$0 = "dem.asc"} NR == 14 {$0 = n} NR == 18 {$0 = ni " " nj} NR == 20 {$0 = "83. 83."}
    NR == 46 {$0 = oi " " oj} NR == 50 {$0 = "1"} NR == 71 {$0 = si " " sj}
    {print}' "$ex/Tarvex.in" > Tarvex.in
}

# Cell (row col) with the largest contributing area, then its neighbour with
# the largest area (the cross-section just above the outlet).
largest() {
  awk -v nj="$nj" '{for (k = 1; k <= NF; ++k) {n++; if ($k > best) {best = $k; at = n}}}
    END {print int((at - 1) / nj) + 1, (at - 1) % nj + 1}' area.txt
}
upstream_of() {
  awk -v nj="$nj" -v oi="$1" -v oj="$2" '{for (k = 1; k <= NF; ++k) {n++; i = int((n - 1) / nj) + 1; j = (n - 1) % nj + 1;
    if ((i != oi || j != oj) && i >= oi - 1 && i <= oi + 1 && j >= oj - 1 && j <= oj + 1 && $k > best) {best = $k; at = i " " j}}}
    END {print at}' area.txt
}

control "$ni" 1 "$((ni - 1))" 1
"$tarvex" --mode 1 --no-limits > /dev/null
read -r oi oj < <(largest)
read -r si sj < <(upstream_of "$oi" "$oj")
control "$oi" "$oj" "$si" "$sj"
/usr/bin/time -v "$tarvex" --mode 1 --no-limits > mode1.log 2> time-mode1.txt
echo "outlet $oi $oj, cross-section $si $sj; links: $(($(wc -l < links.txt) - 1))"

# Uniform roughness class and curve number; one gauge and one station in the
# middle with the example's first month.
grid() { awk -v ni="$ni" -v nj="$nj" -v v="$1" 'BEGIN {for (i = 1; i <= ni; ++i) {s = v; for (j = 2; j <= nj; ++j) s = s " " v; print s}}'; }
grid 1 > rough.txt
grid 75. > cn.txt
mid="$((ni / 2)).0 $((nj / 2)).0"
{
  echo "Rain gauge of the real-DEM run"; echo 1; echo "Gauge position in cell units: row, column"; echo "$mid"
  echo "Records to skip before the series"; echo 0; echo "Hourly rain, mm (negative = missing)"; echo "record and gauge"
  awk 'NR > 10 && n < '"$records"' && NF >= 2 {print $1, $2; n++}' "$ex/rain.txt"
} > rain.txt
awk -v mid="$mid" 'NR == 12 {$0 = mid " 400."} {print}' "$ex/temp.txt" > temp.txt
/usr/bin/time -v "$tarvex" --mode 3 --no-limits > mode3.log 2> time-mode3.txt
for f in time-mode1.txt time-mode3.txt; do
  echo "$f: $(grep -E 'Elapsed|Maximum resident' "$f" | sed 's/^\s*//' | paste -sd ';')"
done

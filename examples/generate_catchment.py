#!/usr/bin/env python3
"""Generates a synthetic catchment for Tarvex: a DEM with valleys, ridges, a
few flats and pits, roughness classes and curve numbers with spatial
patterns, hourly rain at three gauges (storms, dry spells, missing values), an
hourly temperature series with daily and seasonal cycles, the control file
"Tarvex.in" and the search settings "scein.dat".

Everything is drawn from one seeded generator, so the same arguments always
give the same files. Standard library only.

    python3 generate_catchment.py --out DIR [--rows 100] [--cols 100]
        [--records 8760] [--seed 1969] [--dt-sim 3600]
"""
import argparse
import math
import os
import random

CELL = 50.0  # m


def smooth_field(rng, ni, nj, terms, scale):
    """Sum of random plane waves: a smooth random surface of amplitude ~scale."""
    waves = []
    for _ in range(terms):
        k = rng.uniform(0.5, 3.0) * 2 * math.pi / max(ni, nj)
        a = rng.uniform(0, 2 * math.pi)
        waves.append((k * math.cos(a), k * math.sin(a), rng.uniform(0, 2 * math.pi), rng.uniform(0.3, 1.0)))
    norm = sum(w[3] for w in waves)
    field = []
    for i in range(ni):
        row = []
        for j in range(nj):
            v = sum(amp * math.cos(ki * i + kj * j + ph) for ki, kj, ph, amp in waves)
            row.append(scale * v / norm)
        field.append(row)
    return field


def make_dem(rng, ni, nj):
    out_i, out_j = ni - 1, nj // 2  # outlet: middle of the last row (0-based)
    hills = smooth_field(rng, ni, nj, 8, 25.0)
    dem = []
    for i in range(ni):
        row = []
        for j in range(nj):
            # Main valley along the column of the outlet, rising upstream.
            across = abs(j - out_j) / nj
            along = (out_i - i) / ni
            z = 300.0 + 180.0 * along + 140.0 * across ** 1.3
            # Side valleys: ridges every few tens of cells.
            z += 18.0 * abs(math.sin(math.pi * (i + 0.3 * j) / (ni / 4.0)))
            z += hills[i][j] + rng.uniform(-0.8, 0.8)
            row.append(z)
        dem.append(row)
    # A rim so that the catchment drains through the outlet only.
    for i in range(ni):
        for j in range(nj):
            if i in (0, ni - 1) or j in (0, nj - 1):
                dem[i][j] += 40.0
    dem[out_i][out_j] = min(dem[out_i - 1][max(out_j - 1, 0):out_j + 2]) - 2.0
    # Flats and pits.
    for _ in range(max(2, ni * nj // 2500)):
        ci, cj = rng.randrange(3, ni - 4), rng.randrange(3, nj - 4)
        level = dem[ci][cj]
        for di in range(3):
            for dj in range(3):
                dem[ci + di][cj + dj] = level
    for _ in range(max(3, ni * nj // 1500)):
        ci, cj = rng.randrange(2, ni - 2), rng.randrange(2, nj - 2)
        dem[ci][cj] -= rng.uniform(2.0, 6.0)
    # A few no-data cells in a corner.
    dem[0][0] = -9999.0
    dem[0][1] = -9999.0
    return dem, (out_i + 1, out_j + 1)


def grid_text(grid, fmt):
    return "".join(" ".join(fmt(v) for v in row) + "\n" for row in grid)


def classes_and_curve_numbers(rng, dem, outlet):
    ni, nj = len(dem), len(dem[0])
    soil = smooth_field(rng, ni, nj, 6, 1.0)
    rough, cn = [], []
    for i in range(ni):
        rrow, crow = [], []
        for j in range(nj):
            z = dem[i][j]
            near_town = (i - outlet[0] + 1) ** 2 + (j - outlet[1] + 1) ** 2 < (ni / 6.0) ** 2
            if near_town:
                c, base = 3, 88.0          # settlement near the outlet
            elif z > 420.0 or soil[i][j] > 0.35:
                c, base = 1, 62.0          # forest on the upper slopes
            else:
                c, base = 2, 74.0          # grassland and fields
            rrow.append(c)
            crow.append(round(min(98.0, max(45.0, base + 8.0 * soil[i][j] + rng.uniform(-2, 2))), 1))
        rough.append(rrow)
        cn.append(crow)
    return rough, cn


def rain_series(rng, n_records, n_gauges):
    """Hourly rain (mm) per gauge with storms, dry spells and missing values."""
    data = [[0.0] * n_gauges for _ in range(n_records)]
    n = 0
    while n < n_records:
        day = (n // 24) % 365
        season = 1.0 + 0.6 * math.cos(2 * math.pi * (day - 300) / 365.0)  # wetter autumn
        if rng.random() < 0.012 * season:
            length = rng.randint(3, 36)
            peak = rng.uniform(1.5, 14.0)
            factors = [rng.uniform(0.5, 1.5) for _ in range(n_gauges)]
            for k in range(length):
                if n + k >= n_records:
                    break
                shape = math.sin(math.pi * (k + 0.5) / length)
                for g in range(n_gauges):
                    v = peak * shape * factors[g] * rng.uniform(0.6, 1.4)
                    data[n + k][g] = round(max(0.0, v), 2)
            n += length + rng.randint(6, 240)  # dry spell after the storm
        else:
            n += 1
    # Missing values: gaps at one gauge at a time.
    for _ in range(max(2, n_records // 700)):
        g = rng.randrange(n_gauges)
        start = rng.randrange(n_records)
        for k in range(rng.randint(1, 48)):
            m = start + k
            if m >= n_records:
                break
            if sum(1 for v in data[m] if v < 0) < n_gauges - 1:
                data[m][g] = -1.0
    return data


def temperature_series(rng, n_records, start_doy):
    out = []
    for n in range(n_records):
        doy = (start_doy - 1 + n // 24) % 365
        hour = n % 24
        t = 11.0 + 9.5 * math.cos(2 * math.pi * (doy - 200) / 365.0)
        t += 4.5 * math.cos(2 * math.pi * (hour - 15) / 24.0) + rng.gauss(0.0, 0.7)
        out.append(round(t, 2))
    return out


def control_file(ni, nj, n_records, dt_sim, outlet, p):
    rec = []

    def label(text):
        rec.append(text)

    def value(text, v):
        rec.append(text)
        rec.append(v)

    label("Tarvex control file: synthetic example catchment (generated by generate_catchment.py)")
    label("Every value record is preceded by one label record; file names start in column 1.")
    label("Observed discharge file (calibration run)")
    rec.append("obs.txt")
    value("Header records of the observed discharge file", "2")
    value("Number of observed discharge values", str(n_records))
    value("Date of the first record: day, month, year", "1 10 2020")
    label("DEM file (terrain preprocessing)")
    rec.append("dem.txt")
    value("Number of records of the rain and temperature series", str(n_records))
    value("Time step of the records, s", "3600.")
    value("Rows and columns of the grids", "%d %d" % (ni, nj))
    value("Cell sizes along rows and columns, m", "%.1f %.1f" % (CELL, CELL))
    value("Simulation time step, s", "%.1f" % dt_sim)
    value("Contributing area of a channel cell, km2", p["A_CHANNEL"])
    value("Width-to-depth ratio of hillslope flow", p["WD_HILL"])
    value("Number of hillslope roughness classes", "3")
    value("Strickler coefficients of the classes 1 (forest), 2 (grass), 3 (settlement)",
          " ".join(p["KS_CLASS"]))
    value("Roughness-class file", "rough.txt")
    value("Channel: width-to-depth ratio, Strickler coefficient at 3282 m and at the outlet",
          "12. 18. 32.")
    value("Subsurface celerity per unit slope, m/s", p["K_SUB"])
    value("Subsurface flow width, m", "50.")
    value("Time constant of the subsurface store, s", p["TAU_SUB"])
    value("Subsurface store capacity, multiple of the soil retention", p["F_SUB_CAP"])
    value("Initial-abstraction ratio / soil store fraction", p["IA_RATIO"])
    value("Outlet cell: row, column", "%d %d" % outlet)
    value("Impervious catchment in the event run (1 = yes)", "0")
    value("Rain interpolation (1 = nearest gauge, other = inverse squared distance)", "2")
    value("Flow-direction file", "dir.txt")
    value("Number of cells exempt from pit raising", "0")
    label("Row and column of each exempt cell")
    label("A51 Network files")
    rec.append("elev.txt")
    value("Contributing-area file", "area.txt")
    value("Link-property file", "links.txt")
    value("Curve-number file", "cn.txt")
    value("Rain file", "rain.txt")
    value("Temperature file", "temp.txt")
    value("Number of output cross-sections", "1")
    value("Row and column of the output cross-section", "%d %d" % (outlet[0] - 1, outlet[1]))
    label("Output of single runs")
    label("A67 Output settings")
    rec.append("discharge.out")
    value("Flow components (1 = total only, 2 = surface and total)", "2")
    value("Output kind (1 = series at the record step, 2 = annual maxima)", "1")
    return "\n".join(rec) + "\n"


def scein(params, bounds):
    lines = ["%5d%5d%5s%5d%5d%5d" % (2000, 5, "0.01", 2, 0, 0), "     (default algorithm settings)"]
    for v, (lo, hi) in zip(params, bounds):
        lines.append("%10s%10s%10s" % (v, lo, hi))
    return "\n".join(lines) + "\n"


TRUE_PARAMS = {"A_CHANNEL": "0.25", "WD_HILL": "20.", "KS_CLASS": ["4.", "7.", "15."], "K_SUB": "0.003",
               "TAU_SUB": "432000.", "F_SUB_CAP": "2.5", "IA_RATIO": "0.15"}
START_PARAMS = ["0.40", "15.", "6.", "9.", "12.", "0.002", "259200.", "2.0", "0.2"]
BOUNDS = [("0.05", "1.0"), ("5.", "50."), ("2.", "15."), ("3.", "20."), ("5.", "40."), ("0.0005", "0.01"),
          ("86400.", "2592000."), ("0.5", "5."), ("0.05", "0.5")]


def true_vector():
    p = TRUE_PARAMS
    return [p["A_CHANNEL"], p["WD_HILL"]] + p["KS_CLASS"] + [p["K_SUB"], p["TAU_SUB"], p["F_SUB_CAP"],
                                                             p["IA_RATIO"]]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--out", required=True)
    ap.add_argument("--rows", type=int, default=100)
    ap.add_argument("--cols", type=int, default=100)
    ap.add_argument("--records", type=int, default=8760)
    ap.add_argument("--seed", type=int, default=1969)
    ap.add_argument("--dt-sim", type=float, default=3600.0)
    ap.add_argument("--gauges", type=int, default=3, choices=[1, 2, 3, 4])
    ap.add_argument("--true-params", action="store_true",
                    help="write scein.dat with the parameters that made the synthetic observations")
    a = ap.parse_args()
    rng = random.Random(a.seed)
    os.makedirs(a.out, exist_ok=True)

    def write(name, text):
        with open(os.path.join(a.out, name), "w") as f:
            f.write(text)

    dem, outlet = make_dem(rng, a.rows, a.cols)
    write("dem.txt", grid_text(dem, lambda v: "%.2f" % v))
    rough, cn = classes_and_curve_numbers(rng, dem, outlet)
    write("rough.txt", grid_text(rough, str))
    write("cn.txt", grid_text(cn, lambda v: "%.1f" % v))

    gauges = [(0.2 * a.rows, 0.25 * a.cols), (0.5 * a.rows, 0.8 * a.cols), (0.85 * a.rows, 0.45 * a.cols),
              (0.5 * a.rows, 0.1 * a.cols)][:a.gauges]
    rain = rain_series(rng, a.records, len(gauges))
    text = "Rain gauges of the example catchment\n%d\nGauge positions in cell units: row, column\n" % len(gauges)
    text += "".join("%.1f %.1f\n" % g for g in gauges)
    text += "Records to skip before the series\n0\nHourly rain, mm (negative = missing)\nrecord and gauges\n"
    text += "".join("%d %s\n" % (n + 1, " ".join("%.2f" % v for v in row)) for n, row in enumerate(rain))
    write("rain.txt", text)

    start_doy = 274  # 1 October
    temps = temperature_series(rng, a.records, start_doy)
    text = ("Evapotranspiration: offset and slope of the monthly formula\n-12.0 5.0\n"
            "Monthly coefficients A (January to December)\n0.70 0.78 0.95 1.08 1.22 1.30 1.32 1.22 1.06 0.92 0.76 0.68\n"
            "Monthly coefficients B (January to December)\n0.90 0.92 0.97 1.02 1.08 1.12 1.14 1.10 1.04 0.98 0.93 0.90\n"
            "Days in each month\n31 28 31 30 31 30 31 31 30 31 30 31\n"
            "Number of temperature stations\n1\nStation: row, column, elevation (m)\n%.1f %.1f 350.\n"
            "Records to skip before the series\n0\nHourly air temperature, degrees Celsius\nrecord T\n"
            % (0.6 * a.rows, 0.5 * a.cols))
    text += "".join("%d %.2f\n" % (n + 1, t) for n, t in enumerate(temps))
    write("temp.txt", text)

    write("Tarvex.in", control_file(a.rows, a.cols, a.records, a.dt_sim, outlet, TRUE_PARAMS))
    if a.true_params:
        # Placeholder observations until the synthetic ones are made.
        write("obs.txt", "placeholder\nQ\n" + "0.0\n" * a.records)
    params = true_vector() if a.true_params else START_PARAMS
    write("scein.dat", scein(params, BOUNDS))


if __name__ == "__main__":
    main()

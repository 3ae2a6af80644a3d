#!/usr/bin/env python3
"""Converts the rain, temperature and observed-discharge files of a catchment
from the text layouts to dated CSV series, with the gauges in map coordinates
(lower-left corner 0, 0 and the cell size of record 20, the georeference of
text grids). Every other file is copied; the control file names the CSV files.

    python3 text_to_csv.py SRC_DIR OUT_DIR [--rain rain.txt]
        [--temperature temp.txt] [--observed obs.txt]

Writes rain.csv, rain.stations.csv, temp.csv, temp.stations.csv, temp.et.csv
and obs.csv (named after the text files). Values are copied as written; a
missing value (rain or discharge negative, temperature below -98) becomes NA.
Each text record is taken to fill one line. Standard library only.
"""
import argparse
import datetime
import os
import shutil


def lines_of(path):
    with open(path) as f:
        return [line.rstrip("\r\n") for line in f]


def control_values(lines):
    """Start date (record 10), record step (16), NI (18), cell size (20),
    observed header records (6) and values (8)."""
    day, month, year = (int(v) for v in lines[9].split()[:3])
    return {
        "start": datetime.datetime(year, month, day),
        "step": float(lines[15].split()[0]),
        "ni": int(lines[17].split()[0]),
        "cell": float(lines[19].split()[0]),
        "obs_head": int(lines[5].split()[0]),
        "obs_values": int(lines[7].split()[0]),
    }


def iso(t):
    return t.strftime("%Y-%m-%dT%H:%M")


def map_xy(row, col, c):
    """Map coordinates of a position in cell units (row 1 north)."""
    x = (col - 0.5) * c["cell"]
    y = (c["ni"] - row + 0.5) * c["cell"]
    return "%g" % x, "%g" % y


def series_rows(lines, at, n_columns, c, skipped, missing):
    """The records from line index at: a label and n_columns values each."""
    rows = []
    step = datetime.timedelta(seconds=c["step"])
    for n, line in enumerate(lines[at:]):
        items = line.replace(",", " ").split()
        if not items:
            continue
        values = ["NA" if missing(float(v)) else v for v in items[1:1 + n_columns]]
        rows.append(",".join([iso(c["start"] + (n - skipped) * step)] + values))
    return rows


def write(path, rows):
    with open(path, "w") as f:
        f.write("\n".join(rows) + "\n")


def convert_rain(src, out, c):
    lines = lines_of(src)
    n = int(lines[1].split()[0])
    names = ["gauge%d" % (k + 1) for k in range(n)]
    stations = ["name,x,y"]
    for k in range(n):
        row, col = (float(v) for v in lines[3 + k].replace(",", " ").split()[:2])
        stations.append(",".join([names[k], *map_xy(row, col, c)]))
    skip = int(lines[4 + n].split()[0])
    at = 7 + n
    rows = series_rows(lines, at, n, c, skip, lambda v: v < 0.0)
    base = os.path.splitext(out)[0]
    write(out, ["time," + ",".join(names)] + rows)
    write(base + ".stations.csv", stations)


def convert_temperature(src, out, c):
    lines = lines_of(src)
    offset, slope = lines[1].split()[:2]
    et = ["# evapotranspiration coefficients", "offset," + offset, "slope," + slope,
          "a," + ",".join(lines[3].split()[:12]), "b," + ",".join(lines[5].split()[:12]),
          "days," + ",".join(lines[7].split()[:12])]
    n = int(lines[9].split()[0])
    names = ["station%d" % (k + 1) for k in range(n)]
    stations = ["name,x,y,elevation"]
    for k in range(n):
        row, col, z = lines[11 + k].replace(",", " ").split()[:3]
        stations.append(",".join([names[k], *map_xy(float(row), float(col), c), z]))
    skip = int(lines[12 + n].split()[0])
    at = 15 + n
    rows = series_rows(lines, at, n, c, skip, lambda v: v < -98.0)
    base = os.path.splitext(out)[0]
    write(out, ["time," + ",".join(names)] + rows)
    write(base + ".stations.csv", stations)
    write(base + ".et.csv", et)


def convert_observed(src, out, c):
    lines = lines_of(src)[c["obs_head"]:]
    step = datetime.timedelta(seconds=c["step"])
    rows = []
    for line in lines:
        items = line.replace(",", " ").split()
        if not items:
            continue
        if not rows:
            header = "time," + ",".join("q%d" % (k + 1) for k in range(len(items)))
        values = ["NA" if float(v) < 0.0 else v for v in items]
        rows.append(",".join([iso(c["start"] + len(rows) * step)] + values))
        if len(rows) == c["obs_values"]:
            break
    write(out, [header] + rows)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("src")
    ap.add_argument("out")
    ap.add_argument("--rain", default="rain.txt")
    ap.add_argument("--temperature", default="temp.txt")
    ap.add_argument("--observed", default="obs.txt")
    a = ap.parse_args()
    os.makedirs(a.out, exist_ok=True)
    control = lines_of(os.path.join(a.src, "Tarvex.in"))
    c = control_values(control)
    renamed = {}
    for name, convert in ((a.rain, convert_rain), (a.temperature, convert_temperature),
                          (a.observed, convert_observed)):
        csv = os.path.splitext(name)[0] + ".csv"
        convert(os.path.join(a.src, name), os.path.join(a.out, csv), c)
        renamed[name] = csv
    for entry in sorted(os.listdir(a.src)):
        path = os.path.join(a.src, entry)
        if entry in renamed or entry == "Tarvex.in" or not os.path.isfile(path):
            continue
        shutil.copyfile(path, os.path.join(a.out, entry))
    # File names take the first 30 columns of their record.
    control = [renamed.get(line[:30].rstrip(), line) for line in control]
    write(os.path.join(a.out, "Tarvex.in"), control)


if __name__ == "__main__":
    main()

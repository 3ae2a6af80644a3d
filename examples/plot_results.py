#!/usr/bin/env python3
"""Draws the results of a Tarvex run to PNG files:

  hydrograph.png  simulated and observed discharge at the outlet against
                  the date (start date and record step of "Tarvex.in"), with
                  the catchment-mean rain as an inverted bar chart on top
                  (after a calibration search "outlet.out" is the best run's);
                  rain and observed series in text or dated CSV form;
  network.png     stream orders ("RiverOrder.out") over the elevations, in
                  map coordinates when the elevation grid is an ESRI ASCII
                  grid (.asc) that carries a georeference;
  convergence.png the best objective, named as in "sceout.dat", against the
                  evaluations of a calibration search ("sce_evaluations.csv"),
                  when present.

    python3 plot_results.py --dir RUN_DIR [--sim outlet.out] [--out DIR]

--sim takes "outlet.out" (record and value per line) or a dated CSV
("outlet.csv": time,simulated,...; "discharge.csv": time,surface_flow,total_flow).

RUN_DIR holds "Tarvex.in" and the files it names. Needs matplotlib
(Debian: python3-matplotlib).
"""
import argparse
import datetime
import math
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.dates  # noqa: E402
import matplotlib.pyplot as plt  # noqa: E402


def control_records(run_dir):
    with open(os.path.join(run_dir, "Tarvex.in")) as f:
        return f.read().splitlines()


def first_item(line):
    return line.replace(",", " ").split()[0].strip("'\"")


def file_names(rec):
    """Observed file, its header count, DEM, pit-free DEM and rain file."""
    marker = next(k for k, line in enumerate(rec) if k >= 52 and line.split() and line.split()[0][:3] == "A51")
    return {
        "obs": first_item(rec[3]),
        "obs_head": int(first_item(rec[5])),
        "dem": rec[11][:30].rstrip(),
        "elev": rec[marker + 1][:30].rstrip(),
        "rain": rec[marker + 9][:30].rstrip(),
        "dt_rain": float(first_item(rec[15])),
        "start": start_date(rec[9]),
        "section": section_cell(rec, marker),
    }


def section_cell(rec, marker):
    """Row and column of the output cross-section (the record after the file names), or None."""
    try:
        return [int(v) for v in rec[marker + 15].replace(",", " ").split()[:2]]
    except (ValueError, IndexError):
        return None


def start_date(line):
    """Record 10: day, month, year of the first record, 00:00."""
    day, month, year = (int(float(v)) for v in line.replace(",", " ").split()[:3])
    return datetime.datetime(year, month, day)


def is_csv(path):
    return path.lower().endswith(".csv")


def csv_value(text, missing_below=0.0):
    """A value of a dated series; NaN when empty, NA, NaN or below the bound."""
    text = text.strip()
    if text == "" or text.upper() in ("NA", "NAN"):
        return float("nan")
    v = float(text)
    return float("nan") if v < missing_below else v


def read_csv_series(path, column=None):
    """Times and rows of values of a dated CSV series (BOM and CRLF allowed).
    column: the name of one column to take, else every value column."""
    with open(path, encoding="utf-8-sig") as f:
        lines = [line.rstrip("\r") for line in f.read().splitlines()]
    head = [h.strip() for h in lines[0].split(",")]
    pick = [head.index(column)] if column else list(range(1, len(head)))
    times, rows = [], []
    for line in lines[1:]:
        if not line.strip():
            continue
        parts = line.split(",")
        times.append(datetime.datetime.fromisoformat(parts[0].strip().replace(" ", "T")))
        rows.append([csv_value(parts[k]) if k < len(parts) else float("nan") for k in pick])
    return times, rows


def mean_of_present(values):
    present = [v for v in values if not math.isnan(v)]
    return sum(present) / len(present) if present else 0.0


def read_series(path, skip=0, column=1):
    values = []
    with open(path) as f:
        lines = f.read().splitlines()[skip:]
    for line in lines:
        parts = line.replace(",", " ").split()
        if len(parts) > column:
            values.append(float(parts[column]))
        elif column == 0 and parts:
            values.append(float(parts[0]))
    return values


def mean_rain(path):
    """Mean of the reporting gauges for every record."""
    with open(path) as f:
        lines = f.read().splitlines()
    n = int(first_item(lines[1]))
    skip = int(first_item(lines[4 + n]))
    out = []
    for line in lines[7 + n + max(skip, 0):]:
        parts = line.replace(",", " ").split()
        if len(parts) < n + 1:
            continue
        vals = [float(v) for v in parts[1:n + 1] if float(v) >= 0.0]
        out.append(sum(vals) / len(vals) if vals else 0.0)
    return out


def read_ascii_grid(path):
    """Rows (first row north) and the georeference of an ESRI ASCII grid."""
    with open(path) as f:
        lines = f.read().splitlines()
    head = {}
    k = 0
    while k < len(lines):
        parts = lines[k].split()
        if not parts:
            k += 1
            continue
        if not parts[0][0].isalpha():
            break
        head[parts[0].lower()] = float(parts[1])
        k += 1
    ncols, nrows = int(head["ncols"]), int(head["nrows"])
    values = [float(v) for line in lines[k:] for v in line.split()]
    nodata = head.get("nodata_value")
    rows = [[float("nan") if v == nodata else v for v in values[i * ncols:(i + 1) * ncols]] for i in range(nrows)]
    cs = head["cellsize"]
    x0 = head["xllcorner"] if "xllcorner" in head else head["xllcenter"] - cs / 2
    y0 = head["yllcorner"] if "yllcorner" in head else head["yllcenter"] - cs / 2
    return rows, {"x0": x0, "y0": y0, "cellsize": cs, "nrows": nrows, "ncols": ncols}


def read_grid(path, width=None):
    rows = []
    with open(path) as f:
        for line in f:
            if width:
                vals = [line[k:k + width] for k in range(0, len(line.rstrip("\n")), width)]
                rows.append([float("nan") if "*" in v else float(v) for v in vals if v.strip()])
            else:
                rows.append([float(v) for v in line.split()])
    return rows


def simulated(path, names):
    """Times and values of the simulated discharge."""
    if is_csv(path):
        with open(path, encoding="utf-8-sig") as f:
            head = f.readline().strip().split(",")
        col = "simulated" if "simulated" in head else ("total_flow" if "total_flow" in head else head[1])
        times, rows = read_csv_series(path, col)
        return times, [r[0] for r in rows]
    values = read_series(path, column=1)
    step = datetime.timedelta(seconds=names["dt_rain"])
    return [names["start"] + k * step for k in range(len(values))], values


def observed(path, names):
    """Times and values of the observed discharge (NaN where missing)."""
    if not os.path.exists(path):
        return [], []
    if is_csv(path):
        times, rows = read_csv_series(path)
        return times, [r[0] for r in rows]
    values = read_series(path, skip=names["obs_head"], column=0)
    step = datetime.timedelta(seconds=names["dt_rain"])
    return [names["start"] + k * step for k in range(len(values))], values


def rain_series(path, names):
    """Times and catchment-mean rain of the reporting gauges."""
    if is_csv(path):
        times, rows = read_csv_series(path)
        return times, [mean_of_present(r) for r in rows]
    values = mean_rain(path)
    step = datetime.timedelta(seconds=names["dt_rain"])
    return [names["start"] + k * step for k in range(len(values))], values


def hydrograph(run_dir, names, sim_file, out_dir):
    t_sim, sim = simulated(os.path.join(run_dir, sim_file), names)
    t_obs, obs = observed(os.path.join(run_dir, names["obs"]), names)
    t_rain, rain = rain_series(os.path.join(run_dir, names["rain"]), names)
    # The window of the simulated series.
    if t_sim:
        first, last = t_sim[0], t_sim[-1]
        keep = [k for k, t in enumerate(t_rain) if first <= t <= last]
        t_rain, rain = [t_rain[k] for k in keep], [rain[k] for k in keep]
        keep = [k for k, t in enumerate(t_obs) if first <= t <= last]
        t_obs, obs = [t_obs[k] for k in keep], [obs[k] for k in keep]
    step_days = names["dt_rain"] / 86400.0

    fig, ax = plt.subplots(figsize=(11, 5))
    ax.plot(t_sim, sim, color="tab:blue", lw=1.2, label="simulated", zorder=2)
    if obs:
        # On top of the simulated line, in another colour and style.
        ax.plot(t_obs, obs, color="black", lw=0.9, ls="--", label="observed", zorder=3)
    ax.set_xlabel("date (record start)")
    ax.set_ylabel("discharge (m$^3$/s)")
    present = [v for v in sim + obs if not math.isnan(v)]
    top = max(present + [1e-6])
    ax.set_ylim(0, top * 1.6)
    ax.legend(loc="center right")
    rax = ax.twinx()
    rax.bar(t_rain, rain, width=step_days, align="edge", color="tab:cyan", alpha=0.7, zorder=1)
    rax.set_ylim(max(rain + [1e-6]) * 3.0, 0)
    rax.set_ylabel("catchment-mean rain (mm per record)")
    # The discharge lines above the rain bars.
    ax.set_zorder(rax.get_zorder() + 1)
    ax.patch.set_visible(False)
    locator = matplotlib.dates.AutoDateLocator()
    ax.xaxis.set_major_locator(locator)
    ax.xaxis.set_major_formatter(matplotlib.dates.ConciseDateFormatter(locator))
    ax.set_title("Discharge at the output cross-section")
    fig.tight_layout()
    path = os.path.join(out_dir, "hydrograph.png")
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return path


def network(run_dir, names, out_dir):
    elev_path = os.path.join(run_dir, names["elev"])
    if not os.path.exists(elev_path):
        elev_path = os.path.join(run_dir, names["dem"])
    geo = None
    if elev_path.lower().endswith(".asc"):
        elev, geo = read_ascii_grid(elev_path)
    else:
        elev = read_grid(elev_path)
    elev = [[v if v > 0 else float("nan") for v in row] for row in elev]
    # Cell (i, j), from 0, at its centre: in map coordinates when known.
    if geo:
        cs = geo["cellsize"]
        north = geo["y0"] + geo["nrows"] * cs
        extent = (geo["x0"], geo["x0"] + geo["ncols"] * cs, geo["y0"], north)

        def at(i, j):
            return geo["x0"] + (j + 0.5) * cs, north - (i + 0.5) * cs
    else:
        extent = None

        def at(i, j):
            return j, i
    fig, ax = plt.subplots(figsize=(7, 6))
    im = ax.imshow(elev, cmap="terrain", interpolation="nearest", extent=extent)
    fig.colorbar(im, ax=ax, label="elevation (m)")
    order_path = os.path.join(run_dir, "RiverOrder.out")
    if os.path.exists(order_path):
        orders = read_grid(order_path, width=3)
        top = max(max((v for v in row if v == v), default=0) for row in orders)
        for k in range(3, int(top) + 1):
            pts = [at(i, j) for i, row in enumerate(orders) for j, v in enumerate(row) if v == k]
            if pts:
                ax.scatter([p[0] for p in pts], [p[1] for p in pts], s=2.0 + 3.0 * k, color="navy",
                           alpha=0.3 + 0.7 * k / max(top, 1), marker="s", linewidths=0)
    if names.get("section"):
        x, y = at(names["section"][0] - 1, names["section"][1] - 1)
        ax.scatter([x], [y], marker="*", s=220, color="red", edgecolors="black", zorder=5,
                   label="output cross-section")
        ax.legend(loc="upper right", fontsize=8)
    ax.set_title("Streams of order 3 and above over the elevations")
    ax.set_xlabel("easting (m)" if geo else "column J")
    ax.set_ylabel("northing (m)" if geo else "row I")
    fig.tight_layout()
    path = os.path.join(out_dir, "network.png")
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return path


def objective_name(run_dir):
    """The objective of the search, as "sceout.dat" names it, or None."""
    path = os.path.join(run_dir, "sceout.dat")
    if not os.path.exists(path):
        return None
    with open(path, errors="replace") as f:
        for line in f:
            if line.strip().startswith("OBJECTIVE:"):
                return line.split(":", 1)[1].strip()
    return None


def convergence(run_dir, out_dir):
    """Best objective so far against the evaluations of a search, or None."""
    path = os.path.join(run_dir, "sce_evaluations.csv")
    if not os.path.exists(path):
        return None
    with open(path) as f:
        lines = f.read().splitlines()
    col = lines[0].split(",").index("objective")
    evals, best = [], []
    for line in lines[1:]:
        parts = line.split(",")
        v = float(parts[col])
        if v == v and v != float("inf"):
            evals.append(int(parts[0]))
            best.append(min(v, best[-1]) if best else v)
    fig, ax = plt.subplots(figsize=(8, 4.5))
    ax.plot(evals, best, color="tab:red", lw=1.2)
    ax.set_xlabel("evaluations")
    name = objective_name(run_dir)
    ax.set_ylabel("best objective" + (" (%s)" % name if name else ""))
    if best and min(best) > 0:
        ax.set_yscale("log")
    ax.set_title("Convergence of the calibration search" + (", objective %s" % name if name else ""))
    fig.tight_layout()
    out = os.path.join(out_dir, "convergence.png")
    fig.savefig(out, dpi=110)
    plt.close(fig)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--dir", required=True, help="run directory")
    ap.add_argument("--sim", default="outlet.out", help="simulated discharge: record and value per line, or a dated CSV")
    ap.add_argument("--out", help="where to write the PNG files (default: the run directory)")
    a = ap.parse_args()
    out_dir = a.out or a.dir
    os.makedirs(out_dir, exist_ok=True)
    names = file_names(control_records(a.dir))
    print(hydrograph(a.dir, names, a.sim, out_dir))
    print(network(a.dir, names, out_dir))
    conv = convergence(a.dir, out_dir)
    if conv:
        print(conv)


if __name__ == "__main__":
    main()

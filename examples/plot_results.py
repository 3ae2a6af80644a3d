#!/usr/bin/env python3
"""Draws the results of a Tarvex run to PNG files:

  hydrograph.png  simulated and observed discharge at the outlet, with the
                  catchment-mean rain as an inverted bar chart on top (after
                  a calibration search "outlet.out" is the best run's);
  network.png     stream orders ("RiverOrder.out") over the elevations, in
                  map coordinates when the elevation grid is an ESRI ASCII
                  grid (.asc) that carries a georeference;
  convergence.png the best objective against the evaluations of a
                  calibration search ("sce_evaluations.csv"), when present.

    python3 plot_results.py --dir RUN_DIR [--sim outlet.out] [--out DIR]

RUN_DIR holds "Tarvex.in" and the files it names. Needs matplotlib
(Debian: python3-matplotlib).
"""
import argparse
import os

import matplotlib

matplotlib.use("Agg")
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
    }


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


def hydrograph(run_dir, names, sim_file, out_dir):
    sim = read_series(os.path.join(run_dir, sim_file), column=1)
    obs_path = os.path.join(run_dir, names["obs"])
    obs = read_series(obs_path, skip=names["obs_head"], column=0) if os.path.exists(obs_path) else []
    rain = mean_rain(os.path.join(run_dir, names["rain"]))[: len(sim)]
    hours = names["dt_rain"] / 3600.0
    t_sim = [k * hours for k in range(len(sim))]

    fig, ax = plt.subplots(figsize=(11, 5))
    if obs:
        ax.plot([k * hours for k in range(len(obs))], obs, color="0.35", lw=0.8, label="observed")
    ax.plot(t_sim, sim, color="tab:blue", lw=1.0, label="simulated")
    ax.set_xlabel("time since the first record (h)")
    ax.set_ylabel("discharge (m$^3$/s)")
    top = max(sim + obs + [1e-6])
    ax.set_ylim(0, top * 1.6)
    ax.legend(loc="center right")
    rax = ax.twinx()
    rax.bar([k * hours for k in range(len(rain))], rain, width=hours, color="tab:cyan", alpha=0.7)
    rax.set_ylim(max(rain + [1e-6]) * 3.0, 0)
    rax.set_ylabel("catchment-mean rain (mm per record)")
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
    ax.set_title("Streams of order 3 and above over the elevations")
    ax.set_xlabel("easting (m)" if geo else "column J")
    ax.set_ylabel("northing (m)" if geo else "row I")
    fig.tight_layout()
    path = os.path.join(out_dir, "network.png")
    fig.savefig(path, dpi=110)
    plt.close(fig)
    return path


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
    ax.set_ylabel("best objective")
    if best and min(best) > 0:
        ax.set_yscale("log")
    ax.set_title("Convergence of the calibration search")
    fig.tight_layout()
    out = os.path.join(out_dir, "convergence.png")
    fig.savefig(out, dpi=110)
    plt.close(fig)
    return out


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--dir", required=True, help="run directory")
    ap.add_argument("--sim", default="outlet.out", help="simulated discharge: record and value per line")
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

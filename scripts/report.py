#!/usr/bin/env python3
"""Writes report.html: one self-contained page on the run in a directory.

    python3 report.py DIR [--command TEXT] [--version TEXT] [--out FILE]

Reads what the run left (Tarvex.in, outlet.csv or outlet.out, the observed and
rain series, sceout.dat, sce_evaluations.csv, scein.dat, sensitivity.csv,
bands.csv, the terrain outputs) and draws every figure with matplotlib as SVG
inlined in the page: no network, no script. Parts whose files are missing are
left out with a note. Exit status 0 written, 1 nothing to report on,
3 matplotlib missing.
"""
import argparse
import datetime as dt
import hashlib
import html
import io
import math
import os
import re
import sys
import time

try:
    import matplotlib
    matplotlib.use("svg")
    import matplotlib.pyplot as plt
    import numpy as np
except ImportError:  # silent: the driver tries another interpreter, then warns once
    sys.exit(3)

matplotlib.rcParams.update({"svg.fonttype": "none", "font.size": 9, "axes.grid": True, "grid.alpha": 0.3,
                            "svg.hashsalt": "tarvex", "figure.subplot.left": 0.08, "figure.subplot.right": 0.97,
                            "figure.subplot.bottom": 0.16, "figure.subplot.top": 0.9, "figure.subplot.hspace": 0.45,
                            "figure.subplot.wspace": 0.28})

# Names of the nine calibrated parameters, in the order of scein.dat.
PARAM_NAMES = ["A_CHANNEL", "WD_HILL", "KS_CLASS(1)", "KS_CLASS(2)", "KS_CLASS(3)", "K_SUB", "TAU_SUB",
               "F_SUB_CAP", "IA_RATIO"]
FIT_KEYS = ["NSE", "LOG-NSE", "KGE", "R", "ALPHA", "BETA", "KGE2012", "PBIAS %", "RMSE"]
OBJECTIVE_LABELS = {"sse": "SSE (sum of squared differences)", "nse": "1 - NSE", "lognse": "1 - log-NSE",
                    "kge": "1 - KGE", "kge2012": "1 - KGE2012", "rmse": "RMSE", "pbias": "|PBIAS| %"}
MAX_POINTS = 3000  # points per drawn line; longer series are thinned


class Page:
    def __init__(self):
        self.parts, self.notes = [], []

    def section(self, title, body):
        anchor = re.sub(r"[^a-z0-9]+", "-", title.lower()).strip("-")
        self.parts.append(f'<section id="{anchor}"><h2>{html.escape(title)}</h2>{body}</section>')

    def figure(self, fig, name, caption=""):
        buf = io.StringIO()
        fig.savefig(buf, format="svg", dpi=80)
        plt.close(fig)
        svg = buf.getvalue()
        svg = svg[svg.find("<svg"):]
        cap = f"<figcaption>{html.escape(caption)}</figcaption>" if caption else ""
        return f'<figure class="fig" data-figure="{name}">{svg}{cap}</figure>'


# ---------------------------------------------------------------- reading

def records(path):
    with open(path, encoding="latin-1") as f:
        return f.read().splitlines()


def first_item(line):
    parts = line.replace(",", " ").split()
    return parts[0].strip("'\"") if parts else ""


def control(run_dir):
    rec = records(os.path.join(run_dir, "Tarvex.in"))
    marker = next(k for k, line in enumerate(rec) if k >= 52 and line.split() and line.split()[0][:3] == "A51")
    day, month, year = (int(v) for v in rec[9].replace(",", " ").split()[:3])
    rows, cols = (int(v) for v in rec[17].split()[:2])
    dx, dy = (float(v) for v in rec[19].split()[:2])
    try:
        sec = [int(v) for v in rec[marker + 15].split()[:2]]
    except (ValueError, IndexError):
        sec = None
    title = rec[0].split(":", 1)[1].strip() if ":" in rec[0] else rec[0].strip()
    return {
        "title": title, "obs": first_item(rec[3]), "obs_head": int(first_item(rec[5])),
        "start": dt.datetime(year, month, day), "dem": rec[11][:30].rstrip(), "dt": float(first_item(rec[15])),
        "rows": rows, "cols": cols, "dx": dx, "dy": dy, "area": rec[marker + 3][:30].rstrip(),
        "rain": rec[marker + 9][:30].rstrip(), "temp": rec[marker + 11][:30].rstrip(), "section": sec,
    }


def read_outlet(run_dir, c):
    """Times, simulated, observed (nan where missing) and period labels of the best run."""
    path = os.path.join(run_dir, "outlet.csv")
    if os.path.exists(path):
        t, s, o, p = [], [], [], []
        for line in records(path)[1:]:
            parts = line.split(",")
            if len(parts) < 3:
                continue
            t.append(dt.datetime.fromisoformat(parts[0]))
            s.append(float(parts[1]))
            o.append(float(parts[2]) if parts[2] else float("nan"))
            p.append(parts[3] if len(parts) > 3 else "")
    else:
        s = [float(line.split()[1]) for line in records(os.path.join(run_dir, "outlet.out")) if line.split()]
        obs = []
        for line in records(os.path.join(run_dir, c["obs"]))[c["obs_head"]:]:
            obs += [float(v) for v in line.replace(",", " ").split()]
        o = (obs + [float("nan")] * len(s))[:len(s)]
        t = [c["start"] + dt.timedelta(seconds=c["dt"] * k) for k in range(len(s))]
        p = [""] * len(s)
    o = np.array(o, dtype=float)
    o[o < 0] = np.nan  # the missing-value flags
    return np.array(t, dtype="datetime64[s]"), np.array(s, dtype=float), o, np.array(p)


def csv_number(text):
    """The number in a CSV field, or None for a missing value."""
    text = text.strip()
    if not text or text.upper() in ("NA", "NAN"):
        return None
    return float(text)


def read_et(run_dir, n):
    """Catchment-mean evapotranspiration per record (mm) from outlet.csv's
    evapotranspiration_mm column, or None when the run did not write it."""
    path = os.path.join(run_dir, "outlet.csv")
    if not os.path.exists(path):
        return None
    rows = records(path)
    head = rows[0].strip().split(",") if rows else []
    if "evapotranspiration_mm" not in head:
        return None
    k = head.index("evapotranspiration_mm")
    out = []
    for line in rows[1:]:
        parts = line.strip().split(",")
        if len(parts) < 3:
            continue
        out.append(float(parts[k]) if k < len(parts) and parts[k] else float("nan"))
    return np.array((out + [float("nan")] * n)[:n], dtype=float)


def read_rain(run_dir, c, n):
    """Catchment-mean rain per record (mean of the gauges reporting), mm."""
    path = os.path.join(run_dir, c["rain"])
    out = []
    if c["rain"].lower().endswith(".csv"):
        for line in records(path)[1:]:
            # Missing values: empty, NA, NaN or negative.
            vals = [v for v in (csv_number(x) for x in line.split(",")[1:]) if v is not None and v >= 0]
            out.append(sum(vals) / len(vals) if vals else 0.0)
    else:
        lines = records(path)
        g = int(first_item(lines[1]))
        skip = int(first_item(lines[4 + g]))
        for line in lines[7 + g + max(skip, 0):]:
            parts = line.replace(",", " ").split()
            if len(parts) < g + 1:
                continue
            vals = [float(v) for v in parts[1:g + 1] if float(v) >= 0.0]
            out.append(sum(vals) / len(vals) if vals else 0.0)
    out = (out + [0.0] * n)[:n]
    return np.array(out)


def read_grid(path, width=None):
    rows = []
    for line in records(path):
        if not line.strip():
            continue
        if width:
            vals = [line[k:k + width] for k in range(0, len(line), width)]
            rows.append([float("nan") if "*" in v else float(v) for v in vals if v.strip()])
        else:
            rows.append([float(v) for v in line.split()])
    return rows


def read_dem(path):
    """Rows (north first) and the extent in map coordinates when the DEM is an ESRI ASCII grid."""
    lines = records(path)
    head, k = {}, 0
    while k < len(lines) and lines[k].split() and lines[k].split()[0][0].isalpha():
        parts = lines[k].split()
        head[parts[0].lower()] = float(parts[1])
        k += 1
    rows = [[float(v) for v in line.split()] for line in lines[k:] if line.strip()]
    a = np.array(rows, dtype=float)
    a[a <= -9999] = np.nan  # the no-data flags of the plain grids
    if not head:
        return a, None
    if "nodata_value" in head:
        a[a == head["nodata_value"]] = np.nan
    cs = head["cellsize"]
    x0 = head.get("xllcorner", head.get("xllcenter", 0.0) - cs / 2)
    y0 = head.get("yllcorner", head.get("yllcenter", 0.0) - cs / 2)
    return a, (x0, x0 + cs * a.shape[1], y0, y0 + cs * a.shape[0])


def parse_sceout(path):
    """Objective name, fit tables [(label, pairs, {key: text})], best parameters, stop reason."""
    out = {"objective": None, "fits": [], "best": [], "stop": "", "scored": ""}
    if not os.path.exists(path):
        return out
    lines = records(path)
    label = "whole run"
    for k, line in enumerate(lines):
        s = line.strip()
        m = re.match(r"OBJECTIVE: (\w+)", s)
        if m:
            out["objective"] = m.group(1)
        if s.startswith("VALIDATION PERIOD"):
            label = "validation " + s.split()[-1]
        if s.startswith("SCORED:"):
            out["scored"] = s
            m = re.search(r"CALIBRATION PERIOD (\S+)", s)
            cal = "calibration " + m.group(1) if m else "calibration"
            for f in out["fits"]:
                if f[0] == "whole run":
                    f[0] = cal
        if s.startswith("SEARCH STOPPED") or s.startswith("Search stopped"):
            out["stop"] = s
        m = re.match(r"FIT OF THE BEST RUN \((\d+) PAIRS\)", s)
        if m:
            vals = {}
            for row in lines[k + 1:k + 12]:
                mm = re.match(r"\s+([A-Z0-9 %-]+?)\s+(\S+)$", row)
                if mm:
                    vals[mm.group(1).strip()] = mm.group(2)
            out["fits"].append([label, int(m.group(1)), vals])
        if s == "BEST PARAMETERS":
            out["best"] = []
            for row in lines[k + 1:]:
                parts = row.split()
                if len(parts) != 2 or not parts[0].startswith("X"):
                    break
                out["best"].append(float(parts[1]))
    return out


def read_bounds(run_dir):
    """Initial value, lower and upper bound of each parameter of scein.dat."""
    path = os.path.join(run_dir, "scein.dat")
    if not os.path.exists(path):
        return None
    lines = records(path)
    out = []
    for line in lines[2:]:
        parts = line.split()
        if len(parts) < 3:
            break
        try:
            out.append(tuple(float(v) for v in parts[:3]))
        except ValueError:
            break
    return out


def read_csv(path):
    lines = [line for line in records(path) if line.strip() and not line.startswith("#")]
    head = lines[0].split(",")
    cols = {h: [] for h in head}
    for line in lines[1:]:
        for h, v in zip(head, line.split(",")):
            cols[h].append(v)
    return cols


def numbers(values):
    return np.array([float(v) if v not in ("", "inf", "nan") else (math.inf if v == "inf" else math.nan)
                     for v in values])


# ---------------------------------------------------------------- statistics

def fit(sim, obs):
    """The fit table over the records with an observed value (log-NSE with eps = mean(obs) / 100)."""
    ok = ~np.isnan(obs)
    s, o = sim[ok].astype(float), obs[ok].astype(float)
    if len(o) < 2:
        return None
    ms, mo = s.mean(), o.mean()
    sse = float(((s - o) ** 2).sum())
    nse = 1 - sse / float(((o - mo) ** 2).sum())
    eps = mo / 100.0
    ls, lo = np.log(s + eps), np.log(o + eps)
    lnse = 1 - float(((ls - lo) ** 2).sum()) / float(((lo - lo.mean()) ** 2).sum())
    r = float(((s - ms) * (o - mo)).sum() / math.sqrt(((s - ms) ** 2).sum() * ((o - mo) ** 2).sum()))
    alpha = float(s.std() / o.std())
    beta = float(ms / mo)
    kge = 1 - math.sqrt((r - 1) ** 2 + (alpha - 1) ** 2 + (beta - 1) ** 2)
    gamma = (s.std() / ms) / (o.std() / mo)
    kge12 = 1 - math.sqrt((r - 1) ** 2 + (gamma - 1) ** 2 + (beta - 1) ** 2)
    return {"NSE": nse, "LOG-NSE": lnse, "KGE": kge, "R": r, "ALPHA": alpha, "BETA": beta, "KGE2012": kge12,
            "PBIAS %": 100.0 * float((s - o).sum() / o.sum()), "RMSE": math.sqrt(sse / len(o)), "pairs": len(o)}


def agree(a, b):
    """Equal to the digits sceout.dat prints and the series files carry."""
    return abs(a - b) <= 1e-4 * max(1.0, abs(a), abs(b))


def thin(t, y, n=MAX_POINTS):
    """At most about n points: the minimum and maximum of each bin, so peaks stay."""
    if len(y) <= n:
        return t, y
    bins = int(math.ceil(len(y) / (n / 2)))
    m = len(y) // bins * bins
    tt = t[:m].reshape(-1, bins)
    yy = y[:m].reshape(-1, bins)
    yy_f = np.where(np.isnan(yy), -np.inf, yy)
    imax = yy_f.argmax(axis=1)
    yy_g = np.where(np.isnan(yy), np.inf, yy)
    imin = yy_g.argmin(axis=1)
    first = np.minimum(imin, imax)
    second = np.maximum(imin, imax)
    rows = np.arange(len(tt))
    t2 = np.stack([tt[rows, first], tt[rows, second]], axis=1).ravel()
    y2 = np.stack([yy[rows, first], yy[rows, second]], axis=1).ravel()
    return t2, y2


# ---------------------------------------------------------------- sections

def table(head, rows, cls=""):
    h = "".join(f"<th>{html.escape(x)}</th>" for x in head)
    body = "".join("<tr>" + "".join(f"<td>{html.escape(str(x))}</td>" for x in r) + "</tr>" for r in rows)
    return f'<table class="{cls}"><thead><tr>{h}</tr></thead><tbody>{body}</tbody></table>'


def fit_section(page, sce, series):
    t, sim, obs, per = series
    rows, checks = [], []
    fits = sce["fits"]
    if not fits and series is not None:  # a run without a search: recomputed only
        f = fit(sim, obs)
        if f:
            fits = [["whole run", f["pairs"], {k: f"{f[k]:.6g}" for k in FIT_KEYS}]]
    for label, pairs, vals in fits:
        name = label.split()[0]
        mask = (per == name) if name in ("calibration", "validation") and (per == name).any() else \
            (per != "warmup") & (per != "validation")
        mine = fit(sim[mask], obs[mask])
        rows.append([label, pairs] + [vals.get(k, "") for k in FIT_KEYS])
        if mine:
            bad = [k for k in FIT_KEYS if k in vals and not agree(float(vals[k]), mine[k])]
            checks.append(f"{label}: recomputed from the series ({mine['pairs']} pairs) "
                          + ("agrees with sceout.dat" if not bad and mine["pairs"] == pairs else
                             "DIFFERS from sceout.dat in " + (", ".join(bad) or "the pair count")))
    if not rows:
        page.notes.append("no fit table: sceout.dat holds none and there is no series")
        return
    body = table(["period", "pairs", "NSE", "log-NSE", "KGE", "r", "alpha", "beta", "KGE2012", "PBIAS %", "RMSE"],
                 rows, "fit")
    body += "<p class='small'>" + "<br>".join(html.escape(c) for c in checks) + "</p>"
    page.section("Fit of the best run", body)


def hydrograph_section(page, series, rain, bands):
    t, sim, obs, per = series
    tt = t.astype("datetime64[ms]").astype(object)
    thinned = len(sim) > MAX_POINTS
    fig, (rax, ax) = plt.subplots(2, 1, figsize=(11, 5.2), sharex=True, gridspec_kw={"height_ratios": [1, 3]})
    if rain is not None:
        td, rd = thin(t, rain)
        rax.fill_between(td.astype("datetime64[ms]").astype(object), 0, rd, color="tab:blue", alpha=0.6,
                         step="mid", linewidth=0)
        rax.set_ylim(max(float(rain.max()), 1e-6) * 1.1, 0)
        rax.set_ylabel("rain (mm)")
    if bands is not None:
        bt, lo, hi = bands
        ax.fill_between(bt.astype("datetime64[ms]").astype(object), lo, hi, color="tab:orange", alpha=0.25,
                        linewidth=0, label="uncertainty band")
    ts, ss = thin(t, sim)
    to, oo = thin(t, obs)
    ax.plot(to.astype("datetime64[ms]").astype(object), oo, color="black", lw=1.1, label="observed")
    ax.plot(ts.astype("datetime64[ms]").astype(object), ss, color="tab:red", lw=0.9, ls="--", label="simulated")
    for name, color in (("warmup", "0.85"), ("validation", "#e6f0ff")):
        k = np.nonzero(per == name)[0]
        if len(k):
            ax.axvspan(tt[k[0]], tt[k[-1]], color=color, zorder=0, label=name)
    ax.set_ylabel("discharge (m³/s)")
    ax.legend(loc="upper right", fontsize=8)
    rax.tick_params(axis="x", labelbottom=False)
    cap = "Observed (black) and simulated (red, dashed) discharge at the outlet; catchment-mean rain inverted above."
    if thinned:
        cap += f" Thinned for display: {len(sim)} records drawn as the minimum and maximum of bins " \
               f"({len(ts)} points per line)."
    body = page.figure(fig, "hydrograph", cap)
    # the largest events, each in its own panel
    q = np.where(np.isnan(obs), sim, obs)
    step = (t[1] - t[0]).astype(float) if len(t) > 1 else 3600.0
    half = max(1, int(3 * 86400 / step))
    peaks, order = [], np.argsort(-np.nan_to_num(q, nan=-1))
    for k in order:
        if all(abs(k - p) > 2 * half for p in peaks):
            peaks.append(int(k))
        if len(peaks) == 3:
            break
    if peaks:
        fig, axes = plt.subplots(1, len(peaks), figsize=(11, 3))
        axes = np.atleast_1d(axes)
        for a, p in zip(axes, sorted(peaks)):
            lo, hi = max(0, p - half), min(len(q), p + half)
            x = tt[lo:hi]
            a.plot(x, obs[lo:hi], color="black", lw=1.2, label="observed")
            a.plot(x, sim[lo:hi], color="tab:red", lw=1.0, ls="--", label="simulated")
            if rain is not None:
                ra = a.twinx()
                ra.fill_between(x, 0, rain[lo:hi], step="mid", color="tab:blue", alpha=0.4, linewidth=0)
                ra.set_ylim(max(float(rain[lo:hi].max()), 1e-6) * 3, 0)
                ra.grid(False)
            a.set_title(str(tt[p])[:16], fontsize=9)
            a.tick_params(axis="x", labelrotation=30, labelsize=7)
        axes[0].legend(fontsize=7)
        body += page.figure(fig, "events", "The largest events (peak ± 3 days), at full resolution.")
    page.section("Hydrograph", body)


def flow_sections(page, series):
    t, sim, obs, per = series
    ok = ~np.isnan(obs)
    fig, (a1, a2) = plt.subplots(1, 2, figsize=(11, 4))
    for y, name, style in ((obs[ok], "observed", dict(color="black", lw=1.2)),
                           (sim[ok], "simulated", dict(color="tab:red", lw=1.0, ls="--"))):
        y = np.sort(y)[::-1]
        ex = np.arange(1, len(y) + 1) / (len(y) + 1) * 100
        ex, y = thin(ex, y)
        a1.plot(ex, np.where(y > 0, y, np.nan), label=name, **style)
    a1.set_yscale("log")
    a1.set_xlabel("exceedance (%)")
    a1.set_ylabel("discharge (m³/s)")
    a1.set_title("flow-duration curves")
    a1.legend(fontsize=8)
    so, oo = sim[ok], obs[ok]
    if len(oo) > 5000:
        pick = np.linspace(0, len(oo) - 1, 5000).astype(int)
        so, oo = so[pick], oo[pick]
    a2.scatter(oo, so, s=4, alpha=0.4, color="tab:purple", rasterized=True)
    top = float(max(np.nanmax(obs), np.nanmax(sim))) if ok.any() else 1.0
    a2.plot([0, top], [0, top], color="black", lw=0.8, label="1:1")
    a2.set_xlabel("observed (m³/s)")
    a2.set_ylabel("simulated (m³/s)")
    a2.set_title("simulated against observed")
    a2.legend(fontsize=8)
    page.section("Flows", page.figure(fig, "flows", "Records with an observed value."))


def balance_section(page, series, rain, et, area_m2):
    t, sim, obs, per = series
    months = t.astype("datetime64[M]")
    keys = np.unique(months)
    step = (t[1] - t[0]).astype(float) if len(t) > 1 else 3600.0
    to_mm = step / area_m2 * 1000.0 if area_m2 else None
    rows = []
    for m in keys:
        k = months == m
        r = float(rain[k].sum()) if rain is not None else float("nan")
        # a month with a record left blank (a depth out of range) has no total
        e = float(et[k].sum()) if et is not None else float("nan")
        qs = float(np.nansum(sim[k])) * to_mm if to_mm else float("nan")
        qo = float(np.nansum(obs[k])) * to_mm if to_mm and (~np.isnan(obs[k])).any() else float("nan")
        rows.append((str(m), r, e, qs, qo))
    fig, ax = plt.subplots(figsize=(11, 3.6))
    x = np.arange(len(rows))
    w = 0.2
    ax.bar(x - 1.5 * w, [r[1] for r in rows], w, color="tab:blue", label="rain")
    if et is not None:
        ax.bar(x - 0.5 * w, [r[2] for r in rows], w, color="tab:green", label="evapotranspiration (model demand)")
    ax.bar(x + 0.5 * w, [r[4] for r in rows], w, color="black", label="observed runoff")
    ax.bar(x + 1.5 * w, [r[3] for r in rows], w, color="tab:red", hatch="//", alpha=0.8, label="simulated runoff")
    ax.set_xticks(x, [r[0] for r in rows], rotation=45, fontsize=7)
    ax.set_ylabel("mm per month")
    ax.legend(fontsize=8)
    if et is not None:
        about = ("Evapotranspiration is the model's demand, the mean over the cells that generate runoff: the soil "
                 "store gives it, and what the soil lacks is drawn from the subsurface store while that holds "
                 "water, so the water actually evaporated can be less in a dry spell.")
    else:
        about = "This run did not write the catchment's evapotranspiration (outlet.csv without evapotranspiration_mm)."
    body = page.figure(fig, "balance", "Monthly totals: rain (mean of the gauges), runoff over the catchment "
                       "upstream of the output cross-section. " + about)
    # a total only where every month has one
    totals = ("total",) + tuple(f"{sum(r[i] for r in rows):.1f}" if all(np.isfinite(r[i]) for r in rows)
                                 else "-" for i in range(1, 5))
    body += table(["month", "rain mm", "evapotranspiration mm", "simulated runoff mm", "observed runoff mm"],
                  [(r[0],) + tuple(f"{v:.1f}" for v in r[1:]) for r in rows] + [totals], "balance")
    page.section("Monthly water balance", body)


def search_section(page, run_dir, sce, bounds):
    path = os.path.join(run_dir, "sce_evaluations.csv")
    if not os.path.exists(path):
        return
    cols = read_csv(path)
    ev = numbers(cols["evaluation"])
    f = numbers(cols["objective"])
    name = sce["objective"] or "sse"
    fin = np.where(np.isfinite(f), f, np.nan)
    best = np.fmin.accumulate(np.where(np.isnan(fin), np.inf, fin))
    fig, ax = plt.subplots(figsize=(11, 3.4))
    ax.scatter(ev, fin, s=3, color="0.6", label="each evaluation", rasterized=True)
    ax.plot(ev, np.where(np.isfinite(best), best, np.nan), color="tab:red", lw=1.5, label="best so far")
    if np.nanmin(fin) > 0 and np.nanmax(fin) / max(np.nanmin(fin), 1e-300) > 100:
        ax.set_yscale("log")
    ax.set_xlabel("evaluations")
    ax.set_ylabel(OBJECTIVE_LABELS.get(name, name))
    ax.set_title(f"objective {name} (minimised): {OBJECTIVE_LABELS.get(name, name)}")
    ax.legend(fontsize=8)
    body = page.figure(fig, "convergence", f"{len(ev)} evaluations. {sce['stop']}")
    pnames = [c for c in cols if re.fullmatch(r"X\d+", c)]
    if bounds and pnames:
        n = len(pnames)
        fig, axes = plt.subplots((n + 2) // 3, 3, figsize=(11, 1.7 * ((n + 2) // 3)), sharex=True)
        for k, (a, p) in enumerate(zip(axes.ravel(), pnames)):
            lo, hi = bounds[k][1], bounds[k][2]
            v = (numbers(cols[p]) - lo) / (hi - lo) if hi > lo else numbers(cols[p]) * 0
            a.plot(ev, v, ".", ms=2, color="tab:blue", alpha=0.5, rasterized=True)
            if k < len(sce["best"]):
                a.axhline((sce["best"][k] - lo) / (hi - lo) if hi > lo else 0, color="tab:red", lw=1)
            a.set_ylim(-0.05, 1.05)
            a.set_title(PARAM_NAMES[k] if k < len(PARAM_NAMES) else p, fontsize=8)
        for a in axes.ravel()[n:]:
            a.set_visible(False)
        body += page.figure(fig, "traces", "Each parameter scaled to its bounds (0 lower, 1 upper) against the "
                            "evaluations; the red line is the best point.")
    if bounds and sce["best"]:
        n = len(sce["best"])
        fig, ax = plt.subplots(figsize=(11, 0.35 * n + 0.8))
        pos = [(b - bounds[k][1]) / (bounds[k][2] - bounds[k][1]) if bounds[k][2] > bounds[k][1] else 0.5
               for k, b in enumerate(sce["best"])]
        y = np.arange(n)
        ax.barh(y, [1] * n, color="0.9")
        ax.scatter(pos, y, color="tab:red", zorder=3, label="best")
        ini = [(bounds[k][0] - bounds[k][1]) / (bounds[k][2] - bounds[k][1]) if bounds[k][2] > bounds[k][1] else 0.5
               for k in range(n)]
        ax.scatter(ini, y, marker="|", s=120, color="black", zorder=3, label="initial")
        ax.set_yticks(y, [PARAM_NAMES[k] if k < len(PARAM_NAMES) else f"X{k + 1}" for k in range(n)])
        ax.set_xlim(-0.02, 1.02)
        fig.subplots_adjust(left=0.14)
        ax.invert_yaxis()
        ax.set_xlabel("position between the bounds")
        ax.legend(fontsize=8, loc="lower right")
        body += page.figure(fig, "best-parameters", "Best parameters against their bounds.")
        body += table(["parameter", "name", "lower", "best", "upper"],
                      [(f"X{k + 1}", PARAM_NAMES[k] if k < len(PARAM_NAMES) else "", f"{bounds[k][1]:g}",
                        f"{b:.6g}", f"{bounds[k][2]:g}") for k, b in enumerate(sce["best"])], "params")
    page.section("The search", body)


def sensitivity_section(page, run_dir):
    path = os.path.join(run_dir, "sensitivity.csv")
    if not os.path.exists(path):
        return
    cols = read_csv(path)
    names = cols.get("name") or cols["parameter"]
    if "mu_star" in cols:
        ms, sg = numbers(cols["mu_star"]), numbers(cols["sigma"])
        fig, ax = plt.subplots(figsize=(7, 4.5))
        ax.scatter(ms, sg, color="tab:green")
        for x, y, n in zip(ms, sg, names):
            ax.annotate(n, (x, y), fontsize=7, xytext=(3, 3), textcoords="offset points")
        ax.set_xlabel("mu* (mean absolute elementary effect)")
        ax.set_ylabel("sigma")
        ax.set_title("Morris screening")
        body = page.figure(fig, "sensitivity", "mu* against sigma for each parameter.")
        keys = ["mu_star", "mu", "sigma", "rank"]
    else:
        y = np.arange(len(names))
        fig, ax = plt.subplots(figsize=(9, 0.4 * len(names) + 1))
        for k, (name, col, off) in enumerate((("S1", "tab:blue", -0.2), ("ST", "tab:orange", 0.2))):
            v, lo, hi = numbers(cols[name]), numbers(cols[name + "_low"]), numbers(cols[name + "_high"])
            ax.barh(y + off, v, 0.4, color=col, label=name,
                    xerr=[np.maximum(v - lo, 0), np.maximum(hi - v, 0)], capsize=2)
        ax.set_yticks(y, names)
        ax.invert_yaxis()
        ax.set_xlabel("Sobol' index (95 % bootstrap interval)")
        ax.legend(fontsize=8)
        body = page.figure(fig, "sensitivity", "First-order (S1) and total (ST) indices.")
        keys = ["S1", "S1_low", "S1_high", "ST", "ST_low", "ST_high", "rank"]
    body += table(["parameter", "name"] + keys,
                  [[cols["parameter"][k], names[k]] + [cols[c][k] for c in keys] for k in range(len(names))], "sens")
    page.section("Sensitivity", body)


def read_bands(run_dir, c):
    """bands.csv of an uncertainty run (record,section,observed,q2.5,...,q97.5[,q2.5_error,...]; the 95 % band is
    q2.5 to q97.5 at record n, the start plus n - 1 record steps), or time,lower,upper[,...] with optional
    '# name,value' lines. The P- and R-factors come from uncertainty_summary.txt."""
    path = os.path.join(run_dir, "bands.csv")
    if not os.path.exists(path):
        return None, {}
    meta = {}
    for line in records(path):
        if line.startswith("#") and "," in line:
            k, v = line[1:].split(",", 1)
            meta[k.strip()] = v.strip()
    cols = read_csv(path)
    if "q2.5" in cols:
        keep = [k for k, s in enumerate(cols["section"]) if s.strip() == "1"]
        t = np.array([c["start"] + dt.timedelta(seconds=c["dt"] * (int(cols["record"][k]) - 1)) for k in keep],
                     dtype="datetime64[s]")
        lo = numbers([cols["q2.5"][k] for k in keep])
        hi = numbers([cols["q97.5"][k] for k in keep])
        summary = os.path.join(run_dir, "uncertainty_summary.txt")
        if os.path.exists(summary):
            what = "of the runs"
            for line in records(summary):
                m = re.search(r"95 % BAND(.*?): P-FACTOR ([0-9.]+).*R-FACTOR ([0-9.]+)", line)
                if m:
                    what = m.group(1).strip().lower() or "of the runs"
                    meta[f"P-factor, band {what}"] = m.group(2)
                    meta[f"R-factor, band {what}"] = m.group(3)
                    continue
                # the lines of the periods under each band's line
                m = re.match(r"\s+((?:CALIBRATION|VALIDATION) (?:PERIOD \S+|RECORDS)): P-FACTOR ([0-9.]+).*"
                             r"R-FACTOR ([0-9.]+)", line)
                if m:
                    period = m.group(1).lower()
                    meta[f"P-factor, band {what}, {period}"] = m.group(2)
                    meta[f"R-factor, band {what}, {period}"] = m.group(3)
        return (t, lo, hi), meta
    t = np.array([dt.datetime.fromisoformat(v) for v in cols["time"]], dtype="datetime64[s]")
    return (t, numbers(cols["lower"]), numbers(cols["upper"])), meta


def median_series(run_dir, c):
    """An uncertainty run has no best run: its median (q50 of bands.csv) stands for the simulated series."""
    path = os.path.join(run_dir, "bands.csv")
    if not os.path.exists(path):
        return None
    cols = read_csv(path)
    if "q50" not in cols or "observed" not in cols:
        return None
    keep = [k for k, s in enumerate(cols["section"]) if s.strip() == "1"]
    t = [c["start"] + dt.timedelta(seconds=c["dt"] * (int(cols["record"][k]) - 1)) for k in keep]
    s = numbers([cols["q50"][k] for k in keep])
    o = numbers([cols["observed"][k] if cols["observed"][k] else "nan" for k in keep])
    o[o < 0] = np.nan
    return np.array(t, dtype="datetime64[s]"), s, o, np.array([""] * len(keep))


def posterior_section(page, run_dir):
    """Histograms of the DREAM posterior (the second half of the generations) with R-hat per parameter."""
    path = os.path.join(run_dir, "posterior.csv")
    if not os.path.exists(path):
        return ""
    cols = read_csv(path)
    gen = numbers(cols["generation"])
    if len(gen) == 0:
        return ""
    names = [k for k in cols if re.fullmatch(r"X[0-9]+", k)]
    # R-hat and effective sample size per parameter from uncertainty.csv.
    rhat, ess = {}, {}
    upath = os.path.join(run_dir, "uncertainty.csv")
    if os.path.exists(upath):
        u = read_csv(upath)
        for k, name in enumerate(u.get("name", [])):
            rhat[name] = u["rhat"][k] if "rhat" in u else "?"
            ess[name] = u["ess"][k] if "ess" in u else "?"
    n = len(names)
    ncol = 3
    fig, axes = plt.subplots((n + ncol - 1) // ncol, ncol, figsize=(9, 2.2 * ((n + ncol - 1) // ncol)))
    for k, ax in enumerate(np.ravel(axes)):
        if k >= n:
            ax.axis("off")
            continue
        v = numbers(cols[names[k]])
        name = PARAM_NAMES[k] if k < len(PARAM_NAMES) else names[k]
        ax.hist(v, bins=20, color="#4477aa")
        r = rhat.get(name, "?")
        r = f"{float(r):.3f}" if r not in ("?", "") else r
        ax.set_title(f"{name}  (R-hat {r}, ESS {ess.get(name, '?')})", fontsize=8)
        ax.tick_params(labelsize=7)
    return page.figure(fig, "posterior", "Posterior of each parameter (DREAM, the second half of the generations, "
                       "posterior.csv), with its Gelman-Rubin R-hat (below 1.2 the chains agree) and its effective "
                       "sample size (ESS; below about 200 the 95 % interval is rough)")


def terrain_section(page, run_dir, c):
    order_path = os.path.join(run_dir, "RiverOrder.out")
    dem_path = os.path.join(run_dir, c["dem"])
    if not (os.path.exists(order_path) and os.path.exists(dem_path)):
        return
    dem, extent = read_dem(dem_path)
    if extent is None:  # a plain grid: metres from the north-west corner
        extent = (0, c["cols"] * c["dy"], 0, c["rows"] * c["dx"])
        unit = "m from the south-west corner of the grid"
    else:
        unit = "map coordinates"
    orders = np.array(read_grid(order_path, width=3), dtype=float)
    fig, ax = plt.subplots(figsize=(7, 6))
    im = ax.imshow(dem, cmap="YlOrBr", extent=extent, interpolation="nearest")
    fig.colorbar(im, ax=ax, shrink=0.7, label="elevation (m)")
    nr, nc = orders.shape
    cw, ch = (extent[1] - extent[0]) / nc, (extent[3] - extent[2]) / nr
    top = int(np.nanmax(orders)) if np.isfinite(orders).any() else 0
    if top > 0:
        blues = plt.get_cmap("Blues")
        # low orders faint, so the DEM shows through where every cell has an order
        cmap = matplotlib.colors.ListedColormap(
            [blues(0.4 + 0.6 * k / max(top - 1, 1))[:3] + (0.1 + 0.9 * k / max(top - 1, 1),) for k in range(top)])
        net = np.ma.masked_where(~(orders >= 1), orders)
        ax.imshow(net, cmap=cmap, vmin=0.5, vmax=top + 0.5, extent=extent, interpolation="nearest")
        for o in range(1, top + 1):
            ax.plot([], [], "s", color=cmap(o - 1), label=f"order {o}")
    if c["section"]:
        r, q = c["section"]
        ax.scatter([extent[0] + (q - 0.5) * cw], [extent[3] - (r - 0.5) * ch], marker="*", s=220, color="red",
                   edgecolors="black", zorder=5, label="outlet")
    ax.grid(False)
    ax.set_xlabel("x (m)")
    ax.set_ylabel("y (m)")
    ax.legend(fontsize=7, loc="upper right")
    page.section("Terrain", page.figure(fig, "terrain", f"Stream cells by Strahler order over the DEM ({unit}); "
                                        "the star marks the output cross-section."))


def digest(run_dir):
    for name in ("sce_checkpoint.txt", "sensitivity_checkpoint.txt"):
        path = os.path.join(run_dir, name)
        if os.path.exists(path):
            rows = [line.split()[1:3] for line in records(path) if line.startswith("input ")]
            if rows:
                return "FNV-1a 64 of the inputs (from " + name + "): " + ", ".join(f"{n} {d}" for d, n in rows)
    h = hashlib.sha256()
    for name in ("Tarvex.in", "scein.dat"):
        path = os.path.join(run_dir, name)
        if os.path.exists(path):
            with open(path, "rb") as f:
                h.update(f.read())
    return "SHA-256 of Tarvex.in and scein.dat: " + h.hexdigest()[:16]


CSS = """body{font-family:system-ui,sans-serif;margin:1.5em auto;max-width:1150px;color:#222}
h1{font-size:1.5em}h2{border-bottom:1px solid #ccc;padding-bottom:.2em;margin-top:1.6em}
table{border-collapse:collapse;margin:.6em 0;font-size:.9em}td,th{border:1px solid #ccc;padding:.2em .6em;
text-align:right}th{background:#f0f0f0}td:first-child{text-align:left}.small{font-size:.85em;color:#555}
figure{margin:.8em 0}figure svg{max-width:100%;height:auto}figcaption{font-size:.85em;color:#555}
dl{display:grid;grid-template-columns:max-content auto;gap:.2em 1em}dt{font-weight:bold}dd{margin:0}
.note{background:#fff8e0;padding:.4em .8em;border-left:3px solid #e0b000}"""


def previous_command(out_path):
    """The command line recorded in an earlier report (a rebuilt report keeps it)."""
    if not os.path.exists(out_path):
        return ""
    with open(out_path, encoding="utf-8", errors="replace") as f:
        m = re.search(r'<meta name="tarvex-command" content="([^"]*)"', f.read(4096))
    return html.unescape(m.group(1)) if m else ""


def build(run_dir, command, version, out_path):
    t0 = time.time()
    page = Page()
    c = control(run_dir)
    sce = parse_sceout(os.path.join(run_dir, "sceout.dat"))
    series = None
    if os.path.exists(os.path.join(run_dir, "outlet.csv")) or os.path.exists(os.path.join(run_dir, "outlet.out")):
        series = read_outlet(run_dir, c)
    if series is None:
        series = median_series(run_dir, c)
        if series is not None:
            page.notes.append("An uncertainty run has no single best run: the simulated series shown and scored "
                              "is the median (50 %) of the band in bands.csv.")
    have_sens = os.path.exists(os.path.join(run_dir, "sensitivity.csv"))
    if series is None and not sce["fits"] and not have_sens:
        raise LookupError("no run to report on: neither outlet.csv, outlet.out, sceout.dat nor sensitivity.csv")
    rain = None
    if series is not None:
        try:
            rain = read_rain(run_dir, c, len(series[1]))
        except (OSError, ValueError, IndexError):
            page.notes.append(f"rain not shown: {c['rain']} could not be read")
    area_m2 = None
    try:
        if c["section"]:
            cells = read_grid(os.path.join(run_dir, c["area"]))
            area_m2 = cells[c["section"][0] - 1][c["section"][1] - 1] * c["dx"] * c["dy"]
    except (OSError, ValueError, IndexError):
        page.notes.append("runoff depths not shown: the contributing-area grid could not be read")
    bands, band_meta = read_bands(run_dir, c)
    bounds = read_bounds(run_dir)

    if series is not None:
        fit_section(page, sce, series)
        hydrograph_section(page, series, rain, bands)
        flow_sections(page, series)
        balance_section(page, series, rain, read_et(run_dir, len(series[1])), area_m2)
    search_section(page, run_dir, sce, bounds)
    sensitivity_section(page, run_dir)
    if bands is not None:
        rows = [(k, v) for k, v in band_meta.items()]
        page.section("Uncertainty", "<p>The 95 % band is drawn on the hydrograph. The P-factor is the share of "
                     "the observations inside the band, the R-factor its mean width over the standard deviation "
                     "of the observations.</p>" +
                     (table(["measure", "value"], rows, "bands") if rows else "") + posterior_section(page, run_dir))
    terrain_section(page, run_dir, c)

    now = dt.datetime.now(dt.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    head = [("catchment", c["title"]), ("directory", os.path.abspath(run_dir)),
            ("command", command or "(not recorded)"), ("version", version or "(unknown)"), ("written", now),
            ("inputs", digest(run_dir))]
    if series is not None:
        head.append(("records", f"{len(series[1])} from {str(series[0][0])[:16]} to {str(series[0][-1])[:16]}"))
    if sce["scored"]:
        head.append(("scored", sce["scored"][len("SCORED: "):]))
    dl = "".join(f"<dt>{html.escape(k)}</dt><dd>{html.escape(str(v))}</dd>" for k, v in head)
    notes = "".join(f'<p class="note">{html.escape(n)}</p>' for n in page.notes)
    doc = (f'<!DOCTYPE html><html lang="en"><head><meta charset="utf-8">'
           f'<meta name="tarvex-command" content="{html.escape(command or "")}">'
           f"<title>Tarvex report: {html.escape(c['title'])}</title><style>{CSS}</style></head><body>"
           f"<h1>Tarvex report</h1><dl class='header'>{dl}</dl>{notes}{''.join(page.parts)}"
           f"<p class='small'>Built in {time.time() - t0:.1f} s.</p></body></html>\n")
    tmp = out_path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(doc)
    os.replace(tmp, out_path)


def main():
    ap = argparse.ArgumentParser(description="Write report.html for the run in DIR.")
    ap.add_argument("dir", nargs="?", default=".")
    ap.add_argument("--command", default=None, help="the run's command line, shown in the header")
    ap.add_argument("--version", default="", help="the program's version")
    ap.add_argument("--out", default=None, help="output file (default DIR/report.html)")
    a = ap.parse_args()
    out = a.out or os.path.join(a.dir, "report.html")
    command = a.command if a.command is not None else previous_command(out)
    try:
        build(a.dir, command, a.version, out)
    except (OSError, LookupError, ValueError, StopIteration, IndexError, KeyError) as e:
        print(f"tarvex: error: report of {a.dir}: {e or type(e).__name__}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

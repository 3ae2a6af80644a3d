#!/usr/bin/env python3
"""The page on long runs: a 10-year hourly series and a 2000-evaluation search.

    scale_check.py SOURCE_DIR

The page must stay under 5 MB, say that the series was thinned, keep every
peak of the thinned series, and be built in reasonable time (the figures
are printed). Exit 77 (skipped) without matplotlib.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    import numpy as np
    import matplotlib  # noqa: F401
except ImportError:
    print("SKIPPED: matplotlib is not installed")
    sys.exit(77)


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def make_run(src, dst, years, evaluations):
    """The small catchment with a synthetic hourly series of the given length and a search record."""
    shutil.copytree(src, dst)
    n = int(years * 8760)
    rng = np.random.RandomState(7)
    rain = np.where(rng.rand(n) < 0.03, rng.gamma(0.8, 3.0, n), 0.0)
    q = np.convolve(rain, np.exp(-np.arange(200) / 30.0), mode="full")[:n] * 1e-4 + 1e-3
    sim = q * (1 + 0.1 * np.sin(np.arange(n) / 500.0))
    start = np.datetime64("2010-01-01T00:00")
    times = start + np.arange(n).astype("timedelta64[h]")
    with open(os.path.join(dst, "outlet.csv"), "w") as f:
        f.write("time,simulated,observed,period\n")
        for t, s, o in zip(times.astype(str), sim, q):
            f.write(f"{t[:16]},{s:.7g},{o:.7g},calibration\n")
    head = open(os.path.join(src, "rain.txt")).read().splitlines()[:8]
    with open(os.path.join(dst, "rain.txt"), "w") as f:
        f.write("\n".join(head) + "\n")
        for k, r in enumerate(rain):
            f.write(f"{k + 1} {r:.2f} {r:.2f}\n")
    lines = open(os.path.join(dst, "Tarvex.in")).read().splitlines()
    lines[9] = "1 1 2010"
    open(os.path.join(dst, "Tarvex.in"), "w").write("\n".join(lines) + "\n")
    with open(os.path.join(dst, "sce_evaluations.csv"), "w") as f:
        f.write("evaluation,loop,complex," + ",".join(f"X{k}" for k in range(1, 10)) + ",objective\n")
        lo = np.array([0.05, 5, 2, 3, 5, 5e-4, 86400, 0.5, 0.05])
        hi = np.array([1, 50, 15, 20, 40, 0.01, 2592000, 5, 0.5])
        for e in range(1, evaluations + 1):
            x = lo + rng.rand(9) * (hi - lo)
            f.write(f"{e},{e // 50},0," + ",".join(f"{v:.9g}" for v in x) + f",{1.0 / e + rng.rand() * 0.1:.9g}\n")
    return n, float(q.max())


def main():
    source = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    script = os.path.join(source, "scripts", "report.py")
    sys.path.insert(0, os.path.join(source, "scripts"))
    import report

    # thinning: bounded length, every bin's extremes kept
    y = np.random.RandomState(1).gamma(0.5, 1.0, 100000)
    t, ty = report.thin(np.arange(len(y)), y, 3000)
    if len(ty) > 3000 or ty.max() != y.max() or ty.min() != y.min() or not np.all(np.diff(t) > 0):
        fail(f"thin: {len(ty)} points, max {ty.max()} of {y.max()}, times increasing {np.all(np.diff(t) > 0)}")

    with tempfile.TemporaryDirectory() as tmp:
        for years in (1, 10):
            run = os.path.join(tmp, f"y{years}")
            n, peak = make_run(os.path.join(source, "tests", "data", "small"), run, years, 2000)
            t0 = time.time()
            r = subprocess.run([sys.executable, script, run], capture_output=True, text=True)
            took = time.time() - t0
            if r.returncode != 0:
                fail(f"report.py exited {r.returncode}: {r.stderr}")
            page = open(os.path.join(run, "report.html"), encoding="utf-8").read()
            size = os.path.getsize(os.path.join(run, "report.html"))
            print(f"{years} year(s), {n} hourly records, 2000 evaluations: {size / 1e6:.2f} MB in {took:.1f} s")
            if size >= 5e6:
                fail(f"page of {size} bytes for {years} years")
            if "Thinned for display" not in page:
                fail("a long series is thinned without saying so")
            if took > 60:
                fail(f"the page took {took:.0f} s")
    print("long runs pass")
    return 0


if __name__ == "__main__":
    sys.exit(main())

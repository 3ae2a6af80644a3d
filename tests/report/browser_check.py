#!/usr/bin/env python3
"""The run's page in a real browser (headless Chromium over its DevTools pipe).

    browser_check.py TARVEX SOURCE_DIR [--screenshot FILE]

A short search with calibration and validation periods on the example catchment
writes report.html; a bands file is added and `tarvex report DIR` rebuilds
the page; a Morris run writes its own. Each page must load from disk with no
console error, hold every figure and table, and its fit table must give the
values of sceout.dat; the full-page screenshot must not be blank.
Exit 77 (skipped) when no Chromium is installed.
"""
import base64
import io
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def fail(msg):
    print("FAIL: " + msg)
    sys.exit(1)


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    return None


class Browser:
    """Chromium driven through --remote-debugging-pipe (NUL-separated JSON on fds 3 and 4)."""

    def __init__(self, exe, profile):
        to_chrome_r, self.to_chrome = os.pipe()
        self.from_chrome, from_chrome_w = os.pipe()
        pid = os.fork()
        if pid == 0:
            a, b = os.dup(to_chrome_r), os.dup(from_chrome_w)  # above 4, so dup2 clears close-on-exec
            os.dup2(a, 3)
            os.dup2(b, 4)
            devnull = os.open(os.devnull, os.O_WRONLY)
            os.dup2(devnull, 1)
            os.dup2(devnull, 2)
            os.closerange(5, 1024)
            os.execv(exe, [exe, "--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe",
                           "--no-first-run", "--hide-scrollbars", f"--user-data-dir={profile}",
                           "--window-size=1200,900", "about:blank"])
        os.close(to_chrome_r)
        os.close(from_chrome_w)
        self.pid, self.buf, self.next_id, self.events = pid, b"", 0, []
        self.reader = os.fdopen(self.from_chrome, "rb", buffering=0)

    def _read(self):
        while b"\0" not in self.buf:
            chunk = self.reader.read(1 << 20)
            if not chunk:
                fail("the browser closed its pipe")
            self.buf += chunk
        msg, self.buf = self.buf.split(b"\0", 1)
        return json.loads(msg)

    def call(self, method, session=None, **params):
        self.next_id += 1
        msg = {"id": self.next_id, "method": method, "params": params}
        if session:
            msg["sessionId"] = session
        os.write(self.to_chrome, json.dumps(msg).encode() + b"\0")
        while True:
            m = self._read()
            if m.get("id") == self.next_id:
                if "error" in m:
                    fail(f"{method}: {m['error']}")
                return m["result"]
            self.events.append(m)

    def wait_event(self, name):
        for k, m in enumerate(self.events):
            if m.get("method") == name:
                del self.events[k]
                return m
        while True:
            m = self._read()
            if m.get("method") == name:
                return m
            self.events.append(m)

    def close(self):
        try:
            self.call("Browser.close")
        except SystemExit:
            pass
        os.waitpid(self.pid, 0)


def load(browser, path):
    """Opens the page; returns (session, console errors)."""
    target = browser.call("Target.createTarget", url="about:blank")["targetId"]
    session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page.enable", "Runtime.enable", "Log.enable"):
        browser.call(domain, session)
    browser.events.clear()
    browser.call("Page.navigate", session, url="file://" + os.path.abspath(path))
    browser.wait_event("Page.loadEventFired")
    browser.call("Runtime.evaluate", session, expression="1", awaitPromise=True)  # drain the queue
    errors = []
    for m in browser.events:
        p = m.get("params", {})
        if m.get("method") == "Runtime.consoleAPICalled" and p.get("type") in ("error", "assert"):
            errors.append(str(p.get("args")))
        elif m.get("method") == "Runtime.exceptionThrown":
            errors.append(str(p.get("exceptionDetails")))
        elif m.get("method") == "Log.entryAdded" and p["entry"]["level"] == "error":
            errors.append(p["entry"]["text"])
    return session, errors


def evaluate(browser, session, expr):
    r = browser.call("Runtime.evaluate", session, expression=expr, returnByValue=True)
    if "exceptionDetails" in r:
        fail("script in the page failed: " + str(r["exceptionDetails"]))
    return r["result"].get("value")


PAGE_FACTS = """(() => ({
  figures: [...document.querySelectorAll('figure[data-figure]')].map(f => {
    const s = f.querySelector('svg'); const b = s ? s.getBoundingClientRect() : {width: 0, height: 0};
    return [f.dataset.figure, Math.round(b.width), Math.round(b.height)]; }),
  sections: [...document.querySelectorAll('section')].map(s => s.id),
  fit: [...document.querySelectorAll('table.fit tbody tr')].map(r => [...r.cells].map(c => c.textContent)),
  header: Object.fromEntries([...document.querySelectorAll('dl.header dt')].map(d =>
    [d.textContent, d.nextElementSibling.textContent])),
  checks: document.querySelector('#fit-of-the-best-run p.small')?.textContent || '',
  images: [...document.querySelectorAll('img,script[src],link[href]')].length,
}))()"""


def screenshot(browser, session):
    m = browser.call("Page.getLayoutMetrics", session)["cssContentSize"]
    shot = browser.call("Page.captureScreenshot", session, format="png", captureBeyondViewport=True,
                        clip={"x": 0, "y": 0, "width": m["width"], "height": m["height"], "scale": 1})
    return base64.b64decode(shot["data"])


def distinct_colours(png):
    import matplotlib.image as mpimg
    import numpy as np
    img = mpimg.imread(io.BytesIO(png), format="png")
    px = (img[..., :3] * 255).astype("uint8").reshape(-1, 3)
    colours = np.unique(px[:: max(1, len(px) // 400000)], axis=0)
    white = float((px.min(axis=1) > 245).mean())
    return len(colours), white, img.shape


def sceout_fits(path):
    """(pairs, {name: text}) of each fit table of sceout.dat, in order."""
    lines = open(path).read().splitlines()
    out = []
    for k, line in enumerate(lines):
        m = re.match(r"\s*FIT OF THE BEST RUN \((\d+) PAIRS\)", line)
        if m:
            vals = dict(re.match(r"\s+(.+?)\s+(\S+)$", row).groups() for row in lines[k + 1:k + 11])
            out.append((m.group(1), vals))
    return out


def run(cmd, cwd):
    r = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    if r.returncode != 0:
        fail(f"{' '.join(cmd)} exited {r.returncode}: {r.stderr.strip()}")
    return r


def check_page(browser, path, want_figures, want_sections, min_height):
    session, errors = load(browser, path)
    if errors:
        fail(f"{path}: console errors: {errors}")
    facts = evaluate(browser, session, PAGE_FACTS)
    names = {f[0] for f in facts["figures"]}
    missing = sorted(set(want_figures) - names)
    if missing:
        fail(f"{path}: figures missing: {missing} (found {sorted(names)})")
    small = [f for f in facts["figures"] if f[1] < 200 or f[2] < 100]
    if small:
        fail(f"{path}: figures not drawn at size: {small}")
    if not set(want_sections) <= set(facts["sections"]):
        fail(f"{path}: sections missing: {sorted(set(want_sections) - set(facts['sections']))}")
    if facts["images"]:
        fail(f"{path}: the page refers to {facts['images']} outside files")
    png = screenshot(browser, session)
    n, white, shape = distinct_colours(png)
    if n < 100 or white > 0.97 or shape[0] < min_height:
        fail(f"{path}: blank screenshot? {n} colours, {white:.0%} white, {shape[1]}x{shape[0]} px")
    print(f"{path}: {len(names)} figures, {n} colours in a {shape[1]}x{shape[0]} screenshot")
    return facts, png


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    tarvex, source = sys.argv[1], sys.argv[2]
    shot_out = sys.argv[sys.argv.index("--screenshot") + 1] if "--screenshot" in sys.argv else None
    chromium = find_chromium()
    if not chromium:
        print("SKIPPED: no chromium on this machine (CI installs it: apt-get install chromium)")
        return SKIP
    with tempfile.TemporaryDirectory() as tmp:
        # The example catchment's year, a short search (the initial population
        # and a few more points) to keep the test within a minute.
        run_dir = os.path.join(tmp, "search")
        shutil.copytree(os.path.join(source, "examples", "catchment"), run_dir)
        settings = open(os.path.join(run_dir, "scein.dat")).read().split("\n")
        settings[0] = "   40" + settings[0][5:]
        open(os.path.join(run_dir, "scein.dat"), "w").write("\n".join(settings))
        run([tarvex, "--search", "-j", "2", "--objective", "kge", "--warmup", "30", "--calibration-period",
             "2020-10-31/2021-06-30", "--validation-period", "2021-07-01/2021-09-30"], run_dir)
        page = os.path.join(run_dir, "report.html")
        if not os.path.exists(page):
            fail("the search wrote no report.html")
        # An uncertainty band from the best run, then the page rebuilt from the files.
        rows = [line.split(",") for line in open(os.path.join(run_dir, "outlet.csv")).read().splitlines()[1:]]
        with open(os.path.join(run_dir, "bands.csv"), "w") as f:
            f.write("# p_factor,0.81\n# r_factor,0.64\ntime,lower,upper\n")
            for r in rows:
                f.write(f"{r[0]},{float(r[1]) * 0.8},{float(r[1]) * 1.2}\n")
        run([tarvex, "report", run_dir], tmp)
        figures = ["hydrograph", "events", "flows", "balance", "convergence", "traces", "best-parameters", "terrain"]
        sections = ["fit-of-the-best-run", "hydrograph", "flows", "monthly-water-balance", "the-search",
                    "uncertainty", "terrain"]
        with tempfile.TemporaryDirectory() as profile:
            browser = Browser(chromium, profile)
            try:
                facts, png = check_page(browser, page, figures, sections, 3000)
                # the fit table against sceout.dat, period by period
                fits = sceout_fits(os.path.join(run_dir, "sceout.dat"))
                if len(facts["fit"]) != 2 or len(fits) != 2:
                    fail(f"two fit tables expected (calibration, validation): page {facts['fit']}, sceout {fits}")
                keys = ["NSE", "LOG-NSE", "KGE", "R", "ALPHA", "BETA", "KGE2012", "PBIAS %", "RMSE"]
                for row, (pairs, vals) in zip(facts["fit"], fits):
                    if row[1] != pairs or row[2:] != [vals[k] for k in keys]:
                        fail(f"fit row {row} differs from sceout.dat {pairs} {vals}")
                if not facts["fit"][0][0].startswith("calibration") or not facts["fit"][1][0].startswith("valid"):
                    fail(f"periods not named: {[r[0] for r in facts['fit']]}")
                if "DIFFERS" in facts["checks"] or facts["checks"].count("agrees") != 2:
                    fail("the statistics recomputed from outlet.csv disagree: " + facts["checks"])
                # the year's evapotranspiration in the balance equals outlet.csv's column
                et_total = re.search(r'<td>total</td><td>[^<]*</td><td>([^<]*)</td>', open(page).read())
                et_column = sum(float(r[4]) for r in rows if len(r) > 4 and r[4])
                if not et_total or abs(float(et_total.group(1)) - et_column) > 0.1 or et_column <= 0:
                    fail(f"the monthly balance's evapotranspiration total "
                         f"{et_total.group(1) if et_total else None} is not outlet.csv's {et_column:.1f} mm")
                cmd = facts["header"].get("command", "")
                if "--validation-period 2021-07-01/2021-09-30" not in cmd:
                    fail(f"the rebuilt page lost the command line: {cmd!r}")
                if shot_out:
                    with open(shot_out, "wb") as f:
                        f.write(png)
                sens_dir = os.path.join(tmp, "morris")
                shutil.copytree(os.path.join(source, "tests", "data", "small"), sens_dir)
                run([tarvex, "--sensitivity", "morris", "--samples", "4", "-j", "2"], sens_dir)
                check_page(browser, os.path.join(sens_dir, "report.html"), ["sensitivity", "terrain"],
                           ["sensitivity", "terrain"], 1000)
                # An uncertainty run: its own bands.csv and summary, the median as the simulated series.
                unc_dir = os.path.join(tmp, "glue")
                shutil.copytree(os.path.join(source, "tests", "data", "small"), unc_dir)
                run([tarvex, "--uncertainty", "glue", "--samples", "30", "-j", "2"], unc_dir)
                check_page(browser, os.path.join(unc_dir, "report.html"), ["hydrograph", "flows"],
                           ["hydrograph", "uncertainty"], 1000)
                text = open(os.path.join(unc_dir, "report.html")).read()
                if "P-factor, band" not in text:
                    fail("the uncertainty page gives no P-factor")
            finally:
                browser.close()
    print("report pages pass in the browser")
    return 0


if __name__ == "__main__":
    sys.exit(main())

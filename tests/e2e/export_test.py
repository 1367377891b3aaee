#!/usr/bin/env python3
"""tavu report --format csv|json and tavu summary --format json, read back by Python's own
csv and json modules, against the tab-separated report; tavu chart with no display at all.

Usage: export_test.py TAVU
"""
import csv
import io
import json
import os
import subprocess
import sys
import tempfile

tavu = sys.argv[1]
# "This month" is December 2026, whatever the computer's clock says.
os.environ["TAVU_TEST_NOW"] = "2026-12-07T12:00:00"
work = tempfile.mkdtemp(prefix="tavu-export-")
log_lines = [
    b"01-12-2026|10:00:00|01-12-2026|10:30:00|joe|ttyS0|ISP|1000|3000|",
    b"03-12-2026|23:50:00|04-12-2026|00:10:00|a \"b\", c|d\x01\x1f\x7f|\xff\xc3(|12x|5|",
    b"05-11-2026|10:00:00|05-11-2026|10:10:00||ttyS0|ISP|1|2|",
    b"06-12-2026|10:00:00|06-12-2026|10:00:00|'=1+1|line\tbreak|\xe2\x82\xac|7|8|",
]
with open(os.path.join(work, "logfile.log"), "wb") as f:
    f.write(b"\r\n".join(log_lines) + b"\r\n")
with open(os.path.join(work, "tavu.ini"), "w") as f:
    f.write("[Price]\nPricePerDial=0.5\nCostPerMinute=0.1\nFreeMonthTime=00:02\n")


def run(*args):
    r = subprocess.run([tavu, *args, "--config-dir", work], capture_output=True, check=True)
    return r.stdout


def fail(why):
    print("FAIL:", why)
    sys.exit(1)


tsv = run("report").decode("utf-8", "replace").split("\n")[1:-1]
raw_csv = run("report", "--format", "csv")
if not raw_csv.endswith(b"\r\n") or b"\n" in raw_csv.replace(b"\r\n", b""):
    fail("CSV lines must end in CR LF")
rows = list(csv.reader(io.StringIO(raw_csv.decode("utf-8"), newline="")))
header, rows = rows[0], rows[1:]
if len(rows) != len(tsv):
    fail(f"{len(rows)} CSV rows, {len(tsv)} in the table")
for t, c in zip(tsv, rows):
    cells = t.split("\t")
    d, m, y = cells[0].split("-")
    if c[0] != f"{y}-{m}-{d}" or c[1:4] != cells[1:4] or c[9:] != cells[8:]:
        fail(f"CSV row {c} differs from {cells}")
    for tc, cc in zip(cells[4:7], c[5:8]):
        if tc.isprintable() and "\ufffd" not in tc and tc != cc:
            fail(f"CSV text {cc!r} for {tc!r}")
    h, mi, s = map(int, cells[3].split(":"))
    if int(c[4]) != h * 3600 + mi * 60 + s:
        fail(f"CSV seconds {c[4]} for {cells[3]}")

for period in ("all", "month", "today"):
    report = json.loads(run("report", "--format", "json", "--filter", period))
    summary = json.loads(run("summary", "--format", "json", "--filter", period))
    if report["totals"] != summary:
        fail(f"{period}: report totals {report['totals']} != summary {summary}")
    keys = {tuple(r.keys()) for r in report["records"]}
    if len(keys) > 1:
        fail(f"records with different names: {keys}")
    if summary["connections"] != len(report["records"]):
        fail(f"{period}: {summary['connections']} connections, {len(report['records'])} records")
month = json.loads(run("report", "--format", "json", "--filter", "month"))
if [r["date"] for r in month["records"]] != ["2026-12-06", "2026-12-03", "2026-12-01"]:
    fail(f"this month's records: {month['records']}")
if month["records"][1]["device"] != "d\x01\x1f\x7f" or month["records"][1]["isp"] != "\ufffd\ufffd(":
    fail(f"hostile fields: {month['records'][1]}")

# The chart needs no display, not even a variable naming one.
env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
png = os.path.join(work, "chart.png")
subprocess.run([tavu, "chart", "--config-dir", work, "--out", png, "--size", "400x300"], env=env,
               check=True, capture_output=True)
with open(png, "rb") as f:
    if f.read(8) != b"\x89PNG\r\n\x1a\n":
        fail("the chart is no PNG")

# From cron or over ssh: no runtime folder, and no toolkit warning about it.
quiet = {k: v for k, v in env.items() if k not in ("XDG_RUNTIME_DIR", "XDG_CACHE_HOME")}
quiet["HOME"] = work
done = subprocess.run([tavu, "chart", "--config-dir", work, "--out", png, "--size", "400x300"],
                      env=quiet, capture_output=True, text=True)
if done.returncode != 0 or done.stderr:
    fail(f"chart without a runtime folder: status {done.returncode}, {done.stderr!r}")
print("ok")

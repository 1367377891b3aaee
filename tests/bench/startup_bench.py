#!/usr/bin/env python3
"""Wall time and peak memory of the command line, each run alternated with a yardstick.

Usage: startup_bench.py TAVU [--runs N] [--log-dir DIR] [--zones Z1,Z2,...]

- `tavu --version` and `tavu summary` on an empty configuration folder, against /bin/true;
- with --log-dir (a folder with tavu.ini and logfile.log, e.g. from tools/compare_outputs.sh):
  `tavu summary --filter all` against `wc -l` of the same log, in every zone given.

Every figure is the median of N alternating pairs (default 21), after two warm-up pairs that
also warm the page cache. Peak memory is the maximum resident set size that GNU time
reports: a child spawned from Python itself would count Python's own pages.
"""
import argparse
import os
import statistics
import tempfile
import time


def run_once(argv, env):
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, env, file_actions=[
            (os.POSIX_SPAWN_DUP2, null.fileno(), 1)])
        _, status = os.waitpid(pid, 0)
        wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        raise SystemExit(f"{argv} ended with status {os.waitstatus_to_exitcode(status)}")
    return wall * 1000.0


def peak_mb(argv, env):
    if not os.path.exists("/usr/bin/time"):
        return float("nan")
    with tempfile.NamedTemporaryFile("r") as report, open(os.devnull, "wb") as null:
        pid = os.posix_spawn("/usr/bin/time", ["/usr/bin/time", "-o", report.name, "-f", "%M"]
                             + argv, env, file_actions=[(os.POSIX_SPAWN_DUP2, null.fileno(), 1)])
        os.waitpid(pid, 0)
        return int(report.read().split()[-1]) / 1024.0


def pairs(argv, yardstick, env, runs):
    ours, theirs = [], []
    for i in range(runs + 2):
        w = run_once(argv, env)
        y = run_once(yardstick, env)
        if i >= 2:
            ours.append(w)
            theirs.append(y)
    return statistics.median(ours), statistics.median(theirs), peak_mb(argv, env)


def main():
    p = argparse.ArgumentParser()
    p.add_argument("tavu")
    p.add_argument("--runs", type=int, default=21)
    p.add_argument("--log-dir")
    p.add_argument("--zones", default="UTC,Europe/Helsinki,Australia/Lord_Howe")
    a = p.parse_args()
    tavu = os.path.abspath(a.tavu)
    true = "/bin/true"
    env = dict(os.environ)
    print(f"{'case':44} {'median ms':>10} {'yardstick':>10} {'ratio':>6} {'peak MB':>8}")
    with tempfile.TemporaryDirectory() as empty:
        for name, argv in [("--version", [tavu, "--version"]),
                           ("summary, empty log", [tavu, "summary", "--config-dir", empty])]:
            w, y, m = pairs(argv, [true], env, a.runs)
            print(f"{name:44} {w:10.2f} {y:10.2f} {w / y:6.2f} {m:8.1f}")
    if a.log_dir:
        log = os.path.join(a.log_dir, "logfile.log")
        wc = "/usr/bin/wc"
        for zone in a.zones.split(","):
            zenv = dict(env, TZ=zone)
            w, y, m = pairs([tavu, "summary", "--filter", "all", "--config-dir", a.log_dir],
                            [wc, "-l", log], zenv, a.runs)
            print(f"{'summary --filter all vs wc -l, ' + zone:44} {w:10.2f} {y:10.2f} "
                  f"{w / y:6.2f} {m:8.1f}")


if __name__ == "__main__":
    main()

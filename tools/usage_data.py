#!/usr/bin/env python3
"""Ten years of three always-on LTE links, for measuring TAVU side by side with vnStat.

Writes into FOLDER:
  logfile.log     the connection log: back-to-back connections of a few minutes on wwan0..wwan2
                  (entries LTE1..LTE3), each line appended when its connection ended, in the
                  local time of the TZ environment variable
  tavu.ini        a tariff with a data price, a time price and free data, billing day 15
  usage.db        the usage store as the monitor keeps it: one row per connection per UTC
                  quarter hour it touched, whose seconds and bytes add up to the log record
                  (left out with --no-store)
  tail.log        the next --tail connections after the end, not in the log, and
  tail-usage.db   their rows: `--append-tail CONFIG_DIR` adds both to a copy of the data, as
                  the monitor would have written them while those connections ran
  data.env        the data's dates and totals, for a shell script to read
and, with --vnstat DIR, a database folder of vnStat 2.10 that holds the same bytes for the
interfaces wwan0..wwan2 (rx = received, tx = sent), with its own vnstat.conf.

The same options give the same files: everything is drawn from one seeded generator and no
date is taken from the clock. Standard library only.

  tools/usage_data.py DIR [--records N] [--end YYYY-MM-DD] [--tail N] [--seed N]
                          [--no-store] [--vnstat VNSTAT_DIR]
  tools/usage_data.py DIR --append-tail CONFIG_DIR
"""

import argparse
import bisect
import datetime
import heapq
import json
import os
import random
import shutil
import sqlite3
import subprocess
import sys
import time

LINKS = [("wwan0", "LTE1"), ("wwan1", "LTE2"), ("wwan2", "LTE3")]
USER = "lte"
QUARTER = 900
FIVE_MINUTES = 300

# The usage store as src/usage/usage_store.cpp makes it: the first version's tables, the
# second's operator replies, the third's roaming column, then the header's marks.
APPLICATION_ID = 0x54415655
SCHEMA_VERSION = 3
STORE_SCHEMA = """
CREATE TABLE connections( id INTEGER PRIMARY KEY, start_date TEXT NOT NULL, start_time TEXT NOT NULL, device TEXT NOT NULL, connection TEXT NOT NULL, first_quarter INTEGER NOT NULL, last_quarter INTEGER NOT NULL, UNIQUE(start_date, start_time, device, connection));
CREATE INDEX connections_span ON connections(last_quarter, first_quarter);
CREATE TABLE usage( connection INTEGER NOT NULL, quarter INTEGER NOT NULL, seconds INTEGER NOT NULL, uploaded INTEGER NOT NULL, downloaded INTEGER NOT NULL, PRIMARY KEY(connection, quarter)) WITHOUT ROWID;
CREATE TABLE operator_replies( id INTEGER PRIMARY KEY, time INTEGER NOT NULL, code TEXT NOT NULL, reply TEXT NOT NULL);
ALTER TABLE usage ADD COLUMN roaming INTEGER NOT NULL DEFAULT 0;
"""

# What the monitor's UsageStore::write runs for each connection.
ADD_CONNECTION = (
    "INSERT INTO connections(start_date, start_time, device, connection, first_quarter,"
    " last_quarter) VALUES(?1, ?2, ?3, ?4, ?5, ?6)"
    " ON CONFLICT(start_date, start_time, device, connection) DO UPDATE SET"
    " first_quarter = min(first_quarter, excluded.first_quarter),"
    " last_quarter = max(last_quarter, excluded.last_quarter) RETURNING id")
PUT_ROW = ("INSERT OR REPLACE INTO usage(connection, quarter, seconds, uploaded, downloaded,"
           " roaming) VALUES(?1, ?2, ?3, ?4, ?5, 0)")

# vnStat's retention, as its vnstat.conf says: its defaults for the five-minute and hourly
# tables (a database ten years old holds only the last 48 hours and 4 days of them), every day,
# month and year kept (its defaults of 62 days and 25 months could not answer for ten years),
# and the 20 biggest days.
VNSTAT_FIVE_MINUTE_HOURS = 48
VNSTAT_HOURLY_DAYS = 4
VNSTAT_TOP_DAYS = 20
VNSTAT_CONF = """\
# Written by tools/usage_data.py: the database of this folder, kept whole.
DatabaseDir "{dir}"
UseLogging 0
5MinuteHours {five}
HourlyDays {hourly}
DailyDays -1
MonthlyMonths -1
YearlyYears -1
TopDayEntries {top}
"""

TARIFF = """\
[Price]
PricePerDial=0
CostPerMinute=0.0010
CheapCostPerMinute=0.0005
CheapTimeStart=23:00
CheapTimeEnd=06:00
MinConTime=00:00
ConnectionBlock=00:00
CostPerMB=0.0020
FreeMonthMB=20000
FreeMonthTime=00:00
[Settings]
BillingDay=15
DisableUpgrade=1
"""


def fail(message):
    print("usage_data.py: " + message, file=sys.stderr)
    sys.exit(1)


def local_midnight(day):
    """The moment (seconds since the epoch) at which a local day begins."""
    return int(time.mktime((day.year, day.month, day.day, 0, 0, 0, 0, 0, -1)))


def repeated_hours(begin, end):
    """The UTC spans whose local times also name another moment (the hour repeated when the
    clocks go back), as sorted (from, to) pairs. A record starting or ending there could not be
    told from its twin, so none does."""
    spans = []
    offset = time.localtime(begin).tm_gmtoff
    t = begin
    while t < end:
        step = min(3600, end - t)
        after = time.localtime(t + step).tm_gmtoff
        if after != offset:
            lo, hi = t, t + step  # the offset changes at some second in (lo, hi]
            while hi - lo > 1:
                mid = (lo + hi) // 2
                if time.localtime(mid).tm_gmtoff == offset:
                    lo = mid
                else:
                    hi = mid
            if after < offset:
                back = offset - after
                spans.append((hi - back, hi + back))
            offset = after
        t += step
    return spans


def split(start, end, sent, received, size):
    """The record's seconds and bytes by bucket of `size` seconds (UTC), spread evenly over its
    seconds and rounded down as the monitor's count does: the parts add up to the whole.
    Yields (bucket start, seconds, sent, received)."""
    span = end - start
    done = 0
    q = start - start % size
    up_before = down_before = 0
    while q < end:
        secs = min(end, q + size) - max(start, q)
        done += secs
        up = sent * done // span
        down = received * done // span
        yield q, secs, up - up_before, down - down_before
        up_before, down_before = up, down
        q += size


class Clock:
    """Local dates and times of the log. The text of a day is made once: within a local day
    whose offset does not change, a moment's time of day is its distance from midnight."""

    def __init__(self):
        self.lo = self.hi = self.midnight = 0
        self.date = ""

    def fields(self, t):
        if not self.lo <= t < self.hi:
            tm = time.localtime(t)
            self.date = "%02d-%02d-%04d" % (tm.tm_mday, tm.tm_mon, tm.tm_year)
            self.midnight = t - (tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec)
            self.lo, self.hi = self.midnight, self.midnight + 86400
            if (time.localtime(self.lo).tm_gmtoff != tm.tm_gmtoff
                    or time.localtime(self.hi - 1).tm_gmtoff != tm.tm_gmtoff):
                # The clocks turn this day: the offset holds within the UTC quarter hour.
                self.lo, self.hi = t - t % QUARTER, t - t % QUARTER + QUARTER
        s = t - self.midnight
        return self.date, "%02d:%02d:%02d" % (s // 3600, s // 60 % 60, s % 60)


def make_links(records, tail, first, last, seed):
    """Each link's connections, back to back from the first moment to the last, and the tail
    after it: lists of (start, end, link, sent, received)."""
    repeated = repeated_hours(first - 86400, last + 30 * 86400)
    starts_of_repeated = [a for a, _ in repeated]

    def clear(t):
        i = bisect.bisect_right(starts_of_repeated, t) - 1
        return repeated[i][1] if i >= 0 and t < repeated[i][1] else t

    base_lists, tail_lists = [], []
    for link in range(len(LINKS)):
        rnd = random.Random(seed * 1000 + link)
        n = records // len(LINKS) + (1 if link < records % len(LINKS) else 0)
        m = tail // len(LINKS) + (1 if link < tail % len(LINKS) else 0)
        lengths = [rnd.uniform(0.3, 1.7) for _ in range(n + m)]
        gaps = [rnd.randint(1, 20) for _ in range(n + m)]
        lead = rnd.randint(0, 120)
        # Lengths in seconds such that the first n fill the span: a connection of a quarter
        # hour on average for a million records in ten years.
        scale = (last - first - lead - sum(gaps[:n])) / sum(lengths[:n])
        # The tail's connections are of a quarter hour whatever the size of the log.
        tail_scale = min(scale, QUARTER)
        out = []
        pos = float(first + lead)
        prev_end = first
        for i in range(n + m):
            start = max(clear(round(pos)), prev_end)
            pos += lengths[i] * (scale if i < n else tail_scale)
            end = clear(round(pos))
            if end <= start:
                end = clear(start + 60)
            pos += gaps[i]
            prev_end = end
            # A few megabytes a record: 2 to 9 kB/s down, a tenth to a quarter of that up.
            received = int((end - start) * rnd.uniform(2000, 9000))
            sent = int(received * rnd.uniform(0.06, 0.25))
            out.append((start, end, link, sent, received))
        base = out[:n]
        if base and base[-1][1] > last:
            fail("the data runs past its end; use more records or another end")
        base_lists.append(base)
        tail_lists.append(out[n:])
    return base_lists, tail_lists


def log_lines(connections, clock):
    """The log's lines of connections in the order they ended, and their keys in that order."""
    ended = heapq.merge(*connections, key=lambda r: (r[1], r[2]))
    for start, end, link, sent, received in ended:
        sd, st = clock.fields(start)
        ed, et = clock.fields(end)
        device, entry = LINKS[link]
        yield "%s|%s|%s|%s|%s|%s|%s|%d|%d|\r\n" % (sd, st, ed, et, USER, device, entry, sent,
                                                   received)


def write_log(path, connections):
    clock = Clock()
    with open(path, "w", encoding="ascii", newline="") as f:
        batch = []
        for line in log_lines(connections, clock):
            batch.append(line)
            if len(batch) == 10000:
                f.write("".join(batch))
                batch.clear()
        f.write("".join(batch))


def new_file(path, mode):
    """Makes an empty file with the mode given (not widened by the umask)."""
    if os.path.lexists(path):
        os.unlink(path)
    os.close(os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, mode))
    os.chmod(path, mode)


class Offsets:
    """The local time zone's offset from UTC at a moment, asked of the C library once per
    stretch of time in which it does not change."""

    def __init__(self):
        self.lo = self.hi = 0
        self.offset = 0

    def at(self, t):
        if not self.lo <= t < self.hi:
            self.offset = time.localtime(t).tm_gmtoff
            # The stretch: the hours around t with the same offset (the clocks turn on a
            # quarter hour of UTC in every zone, and never twice in a day).
            lo = t - t % QUARTER
            while lo > t - 86400 and time.localtime(lo - QUARTER).tm_gmtoff == self.offset:
                lo -= QUARTER
            hi = lo + QUARTER
            while hi < t + 86400 and time.localtime(hi).tm_gmtoff == self.offset:
                hi += QUARTER
            self.lo, self.hi = lo, hi
        return self.offset


def make_store(path, connections, hours=None):
    """The usage store, its connections numbered in the order they started (the monitor stores
    a connection's first rows within a minute of its start). Returns the rows written. With
    hours, a dict, also adds each link's bytes up by local hour into it: (link, local hour)
    -> [received, sent], the local hour counted in hours since 1970-01-01T00:00 local time."""
    for suffix in ("", "-wal", "-shm", "-journal"):
        if os.path.lexists(path + suffix):
            os.unlink(path + suffix)
    new_file(path, 0o600)
    db = sqlite3.connect(path, isolation_level=None)
    # For the build only: one transaction, no journal; the program's own mode is set last.
    db.execute("PRAGMA journal_mode=OFF")
    db.execute("PRAGMA synchronous=OFF")
    db.execute("PRAGMA cache_size=-262144")
    db.executescript("BEGIN IMMEDIATE;" + STORE_SCHEMA + "PRAGMA application_id=%d;"
                     "PRAGMA user_version=%d;COMMIT;" % (APPLICATION_ID, SCHEMA_VERSION))
    db.execute("BEGIN")
    started = list(heapq.merge(*connections, key=lambda r: (r[0], r[2])))
    clock = Clock()

    def connection_rows():
        for start, end, link, _, _ in started:
            sd, st = clock.fields(start)
            device, entry = LINKS[link]
            yield sd, st, device, entry, start - start % QUARTER, (end - 1) - (end - 1) % QUARTER

    db.executemany("INSERT INTO connections(start_date, start_time, device, connection,"
                   " first_quarter, last_quarter) VALUES(?, ?, ?, ?, ?, ?)", connection_rows())
    count = 0
    offsets = Offsets()

    def usage_rows():
        nonlocal count
        for cid, (start, end, link, sent, received) in enumerate(started, 1):
            for q, secs, up, down in split(start, end, sent, received, QUARTER):
                count += 1
                if hours is not None:
                    sums = hours.setdefault((link, (q + offsets.at(q)) // 3600), [0, 0])
                    sums[0] += down
                    sums[1] += up
                yield cid, q, secs, up, down

    db.executemany("INSERT INTO usage(connection, quarter, seconds, uploaded, downloaded)"
                   " VALUES(?, ?, ?, ?, ?)", usage_rows())
    db.execute("COMMIT")
    # As the program leaves it: write-ahead log, synchronous NORMAL on each open.
    mode = db.execute("PRAGMA journal_mode=WAL").fetchone()[0]
    if mode != "wal":
        fail("%s cannot be put in WAL mode" % path)
    db.close()
    return count


def append_tail(data_dir, config_dir):
    """Adds the tail's records to the log of config_dir and its rows to the usage store there
    with the monitor's own statements, as if those connections had run since."""
    log = os.path.join(config_dir, "logfile.log")
    store = os.path.join(config_dir, "usage.db")
    with open(os.path.join(data_dir, "tail.log"), "rb") as f:
        tail = f.read()
    if os.path.exists(store):
        db = sqlite3.connect(store, isolation_level=None)
        db.execute("ATTACH ? AS tail", (os.path.join(data_dir, "tail-usage.db"),))
        db.execute("BEGIN IMMEDIATE")
        keys = db.execute("SELECT id, start_date, start_time, device, connection, first_quarter,"
                          " last_quarter FROM tail.connections ORDER BY id").fetchall()
        for tail_id, *key in keys:
            cid = db.execute(ADD_CONNECTION, key).fetchall()[0][0]
            rows = db.execute("SELECT quarter, seconds, uploaded, downloaded FROM tail.usage"
                              " WHERE connection = ? ORDER BY quarter", (tail_id,)).fetchall()
            db.executemany(PUT_ROW, [(cid, *r) for r in rows])
        db.execute("COMMIT")
        db.close()
    with open(log, "ab") as f:
        f.write(tail)


def make_vnstat(vdir, hours, first, last, base):
    """vnStat's own empty database for wwan0..wwan2, made by vnstatd and vnstat, then filled
    with the same bytes (hours: make_store's sums of the store's rows by local hour), grouped
    by local time as vnStat groups its traffic."""
    for tool in ("vnstat", "vnstatd"):
        if shutil.which(tool) is None:
            fail("%s is not installed (apt-get install vnstat)" % tool)
    vdir = os.path.abspath(vdir)
    if os.path.exists(vdir):
        shutil.rmtree(vdir)
    os.makedirs(vdir)
    conf = os.path.join(vdir, "vnstat.conf")
    with open(conf, "w", encoding="ascii") as f:
        f.write(VNSTAT_CONF.format(dir=vdir, five=VNSTAT_FIVE_MINUTE_HOURS,
                                   hourly=VNSTAT_HOURLY_DAYS, top=VNSTAT_TOP_DAYS))
    run = lambda *args: subprocess.run(args, check=True, stdout=subprocess.DEVNULL)
    run("vnstatd", "--config", conf, "--initdb")
    for device, _ in LINKS:
        run("vnstat", "--config", conf, "--add", "-i", device, "--force")

    db = sqlite3.connect(os.path.join(vdir, "vnstat.db"), isolation_level=None)
    db.execute("PRAGMA synchronous=OFF")
    db.execute("BEGIN")
    ids = dict(db.execute("SELECT name, id FROM interface"))
    interface = [ids[device] for device, _ in LINKS]
    # The local hours as if they were UTC ones: their dates need no time zone any more.
    db.execute("CREATE TEMP TABLE local_hours(interface INTEGER, at INTEGER, rx INTEGER,"
               " tx INTEGER)")
    db.executemany("INSERT INTO local_hours VALUES(?, ?, ?, ?)",
                   ((interface[link], hour * 3600, rx, tx)
                    for (link, hour), (rx, tx) in hours.items()))
    db.execute("CREATE TEMP TABLE hours AS SELECT interface,"
               " strftime('%Y-%m-%d %H:00:00', at, 'unixepoch') AS date, rx, tx"
               " FROM local_hours ORDER BY interface, at")
    keep_hours = last - VNSTAT_HOURLY_DAYS * 86400
    db.execute("INSERT INTO hour(interface, date, rx, tx) SELECT * FROM hours"
               " WHERE date >= strftime('%Y-%m-%d %H:00:00', ?, 'unixepoch', 'localtime')"
               " ORDER BY 1, 2", (keep_hours,))
    for table, date in (("day", "substr(date, 1, 10)"),
                        ("month", "substr(date, 1, 7) || '-01'"),
                        ("year", "substr(date, 1, 4) || '-01-01'")):
        db.execute("INSERT INTO %s(interface, date, rx, tx) SELECT interface, %s, sum(rx),"
                   " sum(tx) FROM hours GROUP BY 1, 2 ORDER BY 1, 2" % (table, date))
    db.execute("INSERT INTO top(interface, date, rx, tx) SELECT interface, date, rx, tx FROM"
               " (SELECT *, row_number() OVER (PARTITION BY interface ORDER BY rx + tx DESC,"
               "  date) AS n FROM day) WHERE n <= ? ORDER BY 1, 2", (VNSTAT_TOP_DAYS,))
    # The five-minute table: the last 48 hours, split again by five minutes.
    keep_from = last - VNSTAT_FIVE_MINUTE_HOURS * 3600
    db.execute("CREATE TEMP TABLE fives(interface INTEGER, at INTEGER, rx INTEGER, tx INTEGER)")
    for link, connections in enumerate(base):
        at = bisect.bisect_left([r[1] for r in connections], keep_from)
        db.executemany("INSERT INTO fives VALUES(?, ?, ?, ?)",
                       ((interface[link], q, down, up)
                        for start, end, _, sent, received in connections[at:]
                        for q, _, up, down in split(start, end, sent, received, FIVE_MINUTES)
                        if q >= keep_from))
    # A local time repeated when the clocks go back is one row, as vnStat adds to it.
    db.execute("INSERT INTO fiveminute(interface, date, rx, tx)"
               " SELECT interface, datetime(at, 'unixepoch', 'localtime'), sum(rx), sum(tx)"
               " FROM fives GROUP BY 1, 2 ORDER BY 1, 2")
    db.execute("UPDATE interface SET"
               " created = datetime(?, 'unixepoch', 'localtime'),"
               " updated = datetime(?, 'unixepoch', 'localtime'),"
               " rxtotal = (SELECT sum(rx) FROM day WHERE day.interface = interface.id),"
               " txtotal = (SELECT sum(tx) FROM day WHERE day.interface = interface.id)",
               (first, last))
    db.execute("COMMIT")
    db.close()
    return conf


def vnstat_sums(conf, *query):
    """The rx and tx that `vnstat --json` prints for a query, added over all interfaces."""
    out = subprocess.run(["vnstat", "--config", conf, "--json", *query], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    key = {"m": "month", "d": "day"}[query[0]]
    rx = tx = 0
    for interface in json.loads(out)["interfaces"]:
        for entry in interface["traffic"][key]:
            rx += entry["rx"]
            tx += entry["tx"]
    return rx, tx


def main():
    p = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    p.add_argument("dir", help="the folder to write into (made when missing)")
    p.add_argument("--records", type=int, default=1000000, help="log records (1,000,000)")
    p.add_argument("--end", default="2026-12-07", help="the data's last local day (2026-12-07)")
    p.add_argument("--tail", type=int, default=1000, help="records after the end (1,000)")
    p.add_argument("--seed", type=int, default=1, help="seed of the generator (1)")
    p.add_argument("--no-store", action="store_true", help="leave out usage.db")
    p.add_argument("--vnstat", metavar="DIR", help="also write a vnStat database folder")
    p.add_argument("--append-tail", metavar="CONFIG_DIR",
                   help="add the tail of the data in DIR to the log and store of CONFIG_DIR")
    args = p.parse_args()

    if args.append_tail:
        append_tail(args.dir, args.append_tail)
        return
    if args.records < len(LINKS) * 10:
        fail("--records must be at least %d" % (len(LINKS) * 10))
    try:
        last_day = datetime.date.fromisoformat(args.end)
    except ValueError:
        fail("--end needs a date YYYY-MM-DD")
    end_day = last_day + datetime.timedelta(days=1)
    try:
        first_day = end_day.replace(year=end_day.year - 10)
    except ValueError:  # 29 February ten years before a leap year's
        first_day = datetime.date(end_day.year - 10, 3, 1)
    first = local_midnight(first_day)
    last = local_midnight(end_day)
    began = time.monotonic()

    os.makedirs(args.dir, exist_ok=True)
    base, tail = make_links(args.records, args.tail, first, last, args.seed)
    write_log(os.path.join(args.dir, "logfile.log"), base)
    write_log(os.path.join(args.dir, "tail.log"), tail)
    ini = os.path.join(args.dir, "tavu.ini")
    new_file(ini, 0o600)
    with open(ini, "w", encoding="ascii", newline="\n") as f:
        f.write(TARIFF)

    # The store is made even with --no-store when vnStat's tables are to be filled from it.
    store = os.path.join(args.dir, "usage.db")
    hours = {} if args.vnstat else None
    rows = make_store(store, base, hours) if not args.no_store or args.vnstat else 0
    make_store(os.path.join(args.dir, "tail-usage.db"), tail)

    sent = sum(r[3] for links in base for r in links)
    received = sum(r[4] for links in base for r in links)
    last30 = local_midnight(last_day - datetime.timedelta(days=29))
    sent30 = received30 = 0
    for links in base:
        for start, end, _, s, r in links[bisect.bisect_left([c[1] for c in links], last30):]:
            for q, _, up, down in split(start, end, s, r, QUARTER):
                if q >= last30:
                    sent30 += up
                    received30 += down
    tail_end = max(r[1] for links in tail for r in links) if args.tail > 0 else last
    now = time.localtime(max(last, tail_end) + 60)

    if args.vnstat:
        conf = make_vnstat(args.vnstat, hours, first, last, base)
        # vnStat must print what the data holds: the whole of it by month, and the last 30 days.
        for query, want in ((("m",), (received, sent)), (("d", "30"), (received30, sent30))):
            got = vnstat_sums(conf, *query)
            if got != want:
                fail("vnstat --json %s gives rx, tx %s, the data %s" % (" ".join(query), got, want))
    if args.no_store and os.path.exists(store):
        for suffix in ("", "-wal", "-shm"):
            if os.path.exists(store + suffix):
                os.unlink(store + suffix)
        rows = 0

    with open(os.path.join(args.dir, "data.env"), "w", encoding="ascii") as f:
        f.write("# Written by tools/usage_data.py.\n")
        f.write("DATA_TZ='%s'\n" % os.environ.get("TZ", ""))
        f.write("DATA_RECORDS=%d\nDATA_TAIL=%d\nDATA_ROWS=%d\n" % (args.records, args.tail, rows))
        f.write("DATA_FIRST_DAY=%s\nDATA_LAST_DAY=%s\n" % (first_day, last_day))
        f.write("DATA_LAST30_FROM=%s\n" % (last_day - datetime.timedelta(days=29)))
        # A moment just after the tail's last connection: "now" for the month's summary.
        f.write("DATA_NOW=%s\n" % time.strftime("%Y-%m-%dT%H:%M:%S", now))
        f.write("DATA_SENT=%d\nDATA_RECEIVED=%d\n" % (sent, received))
        f.write("DATA_SENT_LAST30=%d\nDATA_RECEIVED_LAST30=%d\n" % (sent30, received30))
    print("%s: %d records, %d usage rows, %d tail records, %.1f s" %
          (args.dir, args.records, rows, args.tail, time.monotonic() - began))


if __name__ == "__main__":
    main()

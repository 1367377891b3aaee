#!/usr/bin/env bash
# The sums kept in usage.db answer as a count of the whole log would, with the real program:
# after the first count, after the log grew, after an edit in its middle, after it was cut
# shorter, and after a change of the tariff, `tavu summary` and `tavu usage` print what the same
# commands print for a copy of the log counted from scratch.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
command -v python3 >/dev/null || { echo "skipped: needs python3"; exit 77; }
e2e_make_work tavu-kept
kept="$work/config"
export TAVU_TEST_NOW=2026-03-20T12:00:00
export TZ=Europe/Helsinki

cat >"$kept/tavu.ini" <<'INI'
[Price]
PricePerDial=0.15
CostPerMinute=0.035
CheapCostPerMinute=0.012
CheapTimeStart=22:00
CheapTimeEnd=07:30
FreeMonthTime=01:00
CostPerMB=0.0125
FreeMonthMB=30
[Settings]
BillingDay=15
INI

# Connections back to back over two years, ending before the pinned clock.
python3 - "$kept/logfile.log" <<'PY'
import datetime, random, sys
rnd = random.Random(42)
t = datetime.datetime(2024, 3, 1, 8, 0, 0)
with open(sys.argv[1], "w") as f:
    while t < datetime.datetime(2026, 3, 20, 9, 0, 0):
        end = t + datetime.timedelta(seconds=rnd.randint(30, 20000))
        f.write("%s|%s|%s|%s|joe|ppp0|ISP|%d|%d|\n" % (
            t.strftime("%d-%m-%Y"), t.strftime("%H:%M:%S"), end.strftime("%d-%m-%Y"),
            end.strftime("%H:%M:%S"), rnd.randint(0, 9000000), rnd.randint(0, 90000000)))
        t = end + datetime.timedelta(seconds=rnd.randint(10, 30000))
PY

# The figures of the kept sums, and those of a fresh copy of the log counted from its start.
figures() {
    local dir=$1
    "$tavu" summary --config-dir "$dir" --filter all --format json || fail "summary all failed"
    "$tavu" summary --config-dir "$dir" --filter month --format json || fail "summary month failed"
    "$tavu" summary --config-dir "$dir" --filter today --format json || fail "summary today failed"
    "$tavu" usage --config-dir "$dir" --by day --from 2026-01-01 --to 2026-03-20 --format json ||
        fail "usage by day failed"
    "$tavu" usage --config-dir "$dir" --by month --from 2024-01-01 --to 2026-03-31 --format json ||
        fail "usage by month failed"
}
same_as_recount() {
    local fresh="$work/fresh"
    rm -rf "$fresh"
    mkdir "$fresh"
    cp "$kept/tavu.ini" "$kept/logfile.log" "$fresh/"
    figures "$kept" >"$work/kept.txt" 2>"$work/kept.err"
    figures "$fresh" >"$work/fresh.txt" 2>&1
    [ -s "$work/kept.txt" ] || fail "$1: no figures"
    [ -f "$kept/usage.db" ] || fail "$1: no usage.db was made to keep the sums"
    [ ! -s "$work/kept.err" ] || fail "$1: the commands printed more: $(cat "$work/kept.err")"
    diff "$work/fresh.txt" "$work/kept.txt" >"$work/diff.txt" ||
        fail "$1: the kept sums differ from a recount: $(head -c 2000 "$work/diff.txt")"
    echo "ok: $1"
}

same_as_recount "first count"
same_as_recount "counted before"
# A record appended, as the monitor appends one.
echo "19-03-2026|10:00:00|19-03-2026|11:30:00|joe|ppp0|ISP|1000000|2000000|" >>"$kept/logfile.log"
same_as_recount "a new tail"
# A digit in the middle of the log changed in place: the same length, the same file.
python3 - "$kept/logfile.log" <<'PY'
import os, sys
path = sys.argv[1]
size = os.path.getsize(path)
with open(path, "r+b") as f:
    f.seek(size // 2)
    chunk = f.read(200)
    at = chunk.index(b"|ISP|") + 5  # the first digit of the bytes sent
    f.seek(size // 2 + at)
    digit = chunk[at:at + 1]
    f.write(b"9" if digit != b"9" else b"1")
PY
same_as_recount "an edit in the middle"
# The log cut to its first third.
python3 -c "import os,sys; p=sys.argv[1]; os.truncate(p, os.path.getsize(p)//3)" "$kept/logfile.log"
same_as_recount "a truncation"
# Another tariff.
sed -i 's/^CostPerMinute=.*/CostPerMinute=0.5/; s/^CostPerMB=.*/CostPerMB=0.1/' "$kept/tavu.ini"
same_as_recount "a new tariff"
echo "PASS"

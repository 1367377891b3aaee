#!/bin/sh
# Compares the outputs of two tavu binaries on a generated log of many records:
# tavu summary (tsv, json), tavu report (tsv, csv, json) with every filter, tavu usage by hour,
# day, month and period, and tavu chart's PNG, in several time zones. Each binary reads its own
# copy of the settings and the log: what one leaves beside the log (usage.db) is not seen by
# the other. Usage: tools/compare_outputs.sh OLD_TAVU NEW_TAVU [RECORDS] [WORKDIR]
set -eu
old=$1
new=$2
records=${3:-1000000}
work=${4:-$(mktemp -d)}
mkdir -p "$work/cfg"
# The projections and the month and today filters read the clock: both binaries run with the
# clock stopped at the same moment (libfaketime), or at the real time when it is missing.
now=${NOW:-2026-12-07 12:34:56}
if command -v faketime >/dev/null 2>&1; then
    clock() { faketime -f "$now" "$@"; }
else
    now=$(date '+%Y-%m-%d %H:%M:%S')
    clock() { "$@"; }
fi

cat >"$work/cfg/tavu.ini" <<'INI'
[Price]
PricePerDial=0.15
CostPerMinute=0.035
CheapCostPerMinute=0.012
CheapTimeStart=22:00
CheapTimeEnd=07:30
MinConTime=00:01
ConnectionBlock=00:00
FreeMonthTime=02:30
CostPerMB=0.0125
FreeMonthMB=300
[Settings]
BillingDay=15
INI

# The log: several years of dates, month ends, the days the clocks turn in Helsinki and on
# Lord Howe Island, today and this billing period, CR LF and LF lines, junk lines, an
# impossible date and connections that run past midnight.
python3 - "$records" "$work/cfg/logfile.log" "$now" <<'PY'
import datetime, random, sys
n = int(sys.argv[1]); path = sys.argv[2]
rnd = random.Random(31)
today = datetime.date.fromisoformat(sys.argv[3][:10])
special = [datetime.date(y, m, d) for (y, m, d) in [
    (2024, 3, 31), (2024, 10, 27), (2025, 3, 30), (2025, 10, 26), (2026, 3, 29), (2026, 10, 25),
    (2024, 4, 7), (2024, 10, 6), (2025, 4, 6), (2025, 10, 5), (2026, 4, 5), (2026, 10, 4),
    (2024, 2, 29), (2025, 1, 31), (2025, 12, 31), (2026, 1, 31), (2026, 2, 28), (2026, 11, 30),
    (2026, 11, 15), (2026, 12, 14), (2026, 12, 15)]]
special += [today, today - datetime.timedelta(days=1)]
start = datetime.date(2022, 1, 1)
span = (today - start).days + 1
out = []
for i in range(n):
    r = rnd.random()
    if r < 0.002:
        out.append(rnd.choice(["junk line without fields", "|||||||||", "  ", "", "31-02-2026|10:00:00|31-02-2026|10:30:00|u|d|c|100|200|",
                               "12-13-2026|10:00:00|12-13-2026|11:00:00|u|d|c|1|2|", "01-01-2026|xx|01-01-2026|yy|u|d|c|abc|def|"]))
        continue
    if r < 0.05:
        d = rnd.choice(special)
    elif r < 0.15:
        d = today - datetime.timedelta(days=rnd.randrange(0, 40))
    else:
        d = start + datetime.timedelta(days=rnd.randrange(span))
    s = rnd.randrange(86400)
    length = rnd.choice([rnd.randrange(0, 120), rnd.randrange(60, 7200), rnd.randrange(3600, 30000)])
    e = s + length
    ed = d + datetime.timedelta(days=e // 86400)
    e %= 86400
    hms = lambda x: "%02d:%02d:%02d" % (x // 3600, x // 60 % 60, x % 60)
    sent = rnd.randrange(0, 5_000_000)
    recv = rnd.randrange(0, 50_000_000)
    user = rnd.choice(["anna", "bert", "x,y", 'q"t', "\u00e4iti"])
    line = "%s|%s|%s|%s|%s|ppp0|Net %d|%d|%d|" % (d.strftime("%d-%m-%Y"), hms(s), ed.strftime("%d-%m-%Y"), hms(e), user, rnd.randrange(3), sent, recv)
    out.append(line)
with open(path, "w", encoding="utf-8", newline="") as f:
    for i, line in enumerate(out):
        f.write(line + ("\n" if i % 7 == 3 else "\r\n"))
PY
echo "log: $(wc -l <"$work/cfg/logfile.log") lines, $(wc -c <"$work/cfg/logfile.log") bytes"
for bin in old new; do
    rm -rf "$work/cfg.$bin"
    cp -r "$work/cfg" "$work/cfg.$bin"
done

fails=0
run() {  # name, then the arguments after the binary
    name=$1
    shift
    for bin in old new; do
        eval b=\$$bin
        clock "$b" "$@" --config-dir "$work/cfg.$bin" >"$work/$bin.$name" 2>"$work/$bin.$name.err" || true
    done
    if cmp -s "$work/old.$name" "$work/new.$name" && cmp -s "$work/old.$name.err" "$work/new.$name.err"; then
        echo "same      $name ($(wc -c <"$work/new.$name") bytes)"
    else
        echo "DIFFERENT $name"
        fails=$((fails + 1))
    fi
}
for zone in UTC Europe/Helsinki Australia/Lord_Howe; do
    export TZ=$zone
    z=$(echo "$zone" | tr / _)
    for filter in all month today; do
        run "$z.summary.tsv.$filter" summary --format tsv --filter "$filter"
        run "$z.summary.json.$filter" summary --format json --filter "$filter"
        for format in tsv csv json; do
            run "$z.report.$format.$filter" report --format "$format" --filter "$filter"
        done
        for bin in old new; do
            eval b=\$$bin
            QT_QPA_PLATFORM=offscreen clock "$b" chart --out "$work/$bin.$z.chart.$filter.png" \
                --filter "$filter" --config-dir "$work/cfg.$bin" >/dev/null 2>&1 || true
        done
        if cmp -s "$work/old.$z.chart.$filter.png" "$work/new.$z.chart.$filter.png"; then
            echo "same      $z.chart.$filter.png ($(wc -c <"$work/new.$z.chart.$filter.png") bytes)"
        else
            echo "DIFFERENT $z.chart.$filter.png"
            fails=$((fails + 1))
        fi
    done
    # The current period, and ten years by month and by day.
    for by in hour day month period; do
        run "$z.usage.$by" usage --by "$by"
    done
    run "$z.usage.month.years" usage --by month --from "$((${now%%-*} - 10))$(echo "$now" | cut -c5-10)"
    run "$z.usage.day.years" usage --by day --from 2021-12-20 --format csv
done
echo "$fails different"
[ "$fails" -eq 0 ]

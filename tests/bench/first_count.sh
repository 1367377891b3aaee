#!/bin/sh
# Times the usage engine's first count of a big log (no usage.db beside it, as after an upgrade
# or a deleted store) as a whole process, beside `wc -l` on the same file, the page cache warm.
# Also counts the instructions of each (perf stat, when the kernel allows it).
# Usage: tests/bench/first_count.sh BUILD_DIR [RECORDS] [WORKDIR]
# The log: ten years of three always-on links in Helsinki time (TZ may name another zone).
set -eu
build=$1
records=${2:-1000000}
work=${3:-$(mktemp -d)}
export TZ=${TZ:-Europe/Helsinki}
count=$build/tests/tavu_first_count
mkdir -p "$work"
log=$work/logfile.log
ini=$work/tavu.ini

cat >"$ini" <<'INI'
[Price]
PricePerDial=0.15
CostPerMinute=0.035
CheapCostPerMinute=0.012
CheapTimeStart=22:00
CheapTimeEnd=07:30
MinConTime=00:01
CostPerMB=0.0125
FreeMonthMB=300
[Settings]
BillingDay=15
[Plan Mobile]
Match=LTE
CostPerMB=0.02
INI

if [ ! -s "$log" ]; then
    python3 - "$records" "$log" <<'PY'
import random, sys, time
n = int(sys.argv[1]); path = sys.argv[2]
rnd = random.Random(11)
first = int(time.mktime((2016, 1, 1, 0, 0, 0, 0, 0, -1)))
span = 3652 * 86400
mean = 3 * span // n
links = [("ppp0", "ISP"), ("wwan0", "LTE"), ("eth1", "Fiber")]
at = [first, first + 600, first + 1200]
def local(t):
    return time.strftime("%d-%m-%Y", time.localtime(t)), time.strftime("%H:%M:%S", time.localtime(t))
with open(path, "w", newline="") as f:
    for i in range(n):
        k = min(range(3), key=lambda j: at[j])
        length = rnd.randrange(2 * mean) + 1
        sd, st = local(at[k]); ed, et = local(at[k] + length)
        f.write("%s|%s|%s|%s|joe|%s|%s|%d|%d|\r\n" % (sd, st, ed, et, links[k][0], links[k][1],
                rnd.randrange(20000000), rnd.randrange(200000000)))
        at[k] += length + rnd.randrange(30)
PY
fi

echo "log: $log ($(wc -l <"$log") lines, $(wc -c <"$log") bytes), TZ=$TZ"
cat "$log" >/dev/null
hyperfine -N --warmup 2 --runs "${RUNS:-10}" \
    --prepare "rm -f $work/usage.db $work/usage.db-wal $work/usage.db-shm" \
    "wc -l $log" "$count $ini $log" "$count $ini $log 1"
if perf stat -e instructions true >/dev/null 2>&1; then
    for cmd in "wc -l $log" "$count $ini $log 1"; do
        rm -f "$work/usage.db" "$work/usage.db-wal" "$work/usage.db-shm"
        perf stat -e instructions,task-clock -x, $cmd 2>&1 >/dev/null | sed "s|^|$cmd: |"
    done
fi
rm -f "$work/usage.db" "$work/usage.db-wal" "$work/usage.db-shm"
"$count" "$ini" "$log"

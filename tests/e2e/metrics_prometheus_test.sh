#!/usr/bin/env bash
# The real Prometheus server scraping `tavu monitor --metrics` every second, both in a network
# namespace of their own, with a busy point-to-point interface ppp0 and a log that already holds
# this period's and last period's usage. Prometheus's HTTP API must give:
#  1. while ppp0 is up: the connection active, tavu_period_bytes at least what
#     `tavu summary --filter month` counts (the summary leaves the connection in progress out)
#     and growing with the traffic;
#  2. once ppp0 went down and its record is in the log: tavu_period_bytes and tavu_period_cost
#     equal to the summary's total_data_transmitted and total_cost, and the connection's
#     counters equal to its record;
#  3. once a second plan covers the seed's connection: each plan's series equal to
#     `tavu summary --filter month --plan NAME`, each in its own billing period.
# Also `promtool check metrics` on the served text. Skipped (77) without prometheus, or without
# root and /dev/net/tun for the namespace and the interface.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
line="$2"
for tool in prometheus promtool python3; do
    command -v "$tool" >/dev/null || { echo "skipped: needs $tool (Debian package prometheus)"; exit 77; }
done
e2e_need_root_and_ip tun
e2e_make_work tavu36-metrics
linepid=""
prompid=""
e2e_kill="linepid prompid pid"
config="$work/config"
e2e_on_fail() {
    echo "--- log"; cat "$config/logfile.log" 2>/dev/null
    echo "--- prometheus"; tail -n 20 "$work/prometheus.txt" 2>/dev/null
}
e2e_make_namespace tavu36-metrics
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
# December 2026 whatever the computer's clock says; the figures are counted every second.
export TAVU_TEST_NOW=2026-12-07T12:00:00
export TAVU_TEST_METRICS_INTERVAL_MS=1000
cat >"$config/tavu.ini" <<'INI'
[Settings]
ShowSplash=0
[Price]
CostPerMinute=0.0100000000
CostPerMB=2.0000000000
[Warnings]
DataHangupMB=10000
INI
printf '%s\n' \
    '01-12-2026|10:00:00|01-12-2026|11:00:00|joe|ppp9|Seed|1000000|4000000|' \
    '15-11-2026|10:00:00|15-11-2026|10:00:10|joe|ppp9|Seed|77|88|' >"$config/logfile.log"

# Everything talks over the namespace's own loopback: the ports are free there.
ip netns exec "$ns" "$tavu" monitor --config-dir "$config" --metrics 127.0.0.1:9817 \
    >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
wait_for_socket "the monitor did not start"
for _ in $(seq 50); do
    grep -q "Metrics served at http://127.0.0.1:9817/metrics" "$work/out.txt" && break
    sleep 0.1
done
grep -q "Metrics served at http://127.0.0.1:9817/metrics" "$work/out.txt" ||
    fail "the monitor does not say where it serves"

cat >"$work/prometheus.yml" <<'YML'
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: tavu
    static_configs:
      - targets: ["127.0.0.1:9817"]
        labels:
          machine: test
YML
ip netns exec "$ns" prometheus --config.file="$work/prometheus.yml" \
    --storage.tsdb.path="$work/tsdb" --web.listen-address=127.0.0.1:9090 \
    >"$work/prometheus.txt" 2>&1 &
prompid=$!

# One value of an instant query, or "none".
query() {
    in_ns python3 - "$1" <<'PY'
import json, sys, urllib.parse, urllib.request
url = "http://127.0.0.1:9090/api/v1/query?query=" + urllib.parse.quote(sys.argv[1])
try:
    data = json.load(urllib.request.urlopen(url, timeout=5))
    result = data["data"]["result"]
    print(result[0]["value"][1] if result else "none")
except Exception as e:
    print("none")
PY
}
# A key of `tavu summary --filter month --format json`, of all plans or of plan $2.
summary() {
    "$tavu" summary --config-dir "$config" --filter month ${2:+--plan "$2"} --format json |
        python3 -c "import json,sys; print(json.load(sys.stdin)['$1'])"
}
# Waits up to $2 s until the query gives the value $3 (or, without $3, any value).
wait_query() {
    for _ in $(seq $(($2 * 10))); do
        v=$(query "$1")
        if [ -n "${3:-}" ]; then [ "$v" = "$3" ] && return 0; else [ "$v" != none ] && return 0; fi
        sleep 0.1
    done
    return 1
}
# Whether $1 <= $2 (numbers, floats allowed).
le() { python3 -c "import sys; sys.exit(0 if float('$1') <= float('$2') else 1)"; }

wait_query 'tavu_up' 20 || fail "Prometheus scraped nothing"

# The served text passes Prometheus's own checker.
in_ns python3 -c "import urllib.request; print(urllib.request.urlopen('http://127.0.0.1:9817/metrics').read().decode(), end='')" >"$work/metrics.txt"
problems=$(promtool check metrics <"$work/metrics.txt" 2>&1) ||
    fail "promtool check metrics: $problems"
[ -z "$problems" ] || fail "promtool check metrics: $problems"
grep -q '^tavu_data_cap_bytes{kind="hangup",plan="Default"} 1e+10$' "$work/metrics.txt" ||
    fail "no hang-up cap in: $(cat "$work/metrics.txt")"

# 1. A busy connection.
ip netns exec "$ns" "$line" ppp0 10.64.0.1 10.64.0.2 >"$work/line.txt" 2>&1 &
linepid=$!
wait_query 'tavu_connection_active{connection="ppp0"}' 20 1 || fail "the connection is not active"
sleep 3
live=$(query tavu_period_bytes)
logged=$(summary total_data_transmitted)
echo "while connected: tavu_period_bytes $live, the summary of the logged records $logged"
le 5000000 "$logged" || fail "the summary lost the seed record"
le "$logged" "$live" || fail "the period counts less than the log"
le "$live" "$logged" && fail "the connection in progress is not counted"
sleep 3
later=$(query tavu_period_bytes)
le "$later" "$live" && fail "tavu_period_bytes did not grow with the traffic ($live, then $later)"

# 2. The connection ends; its record reaches the log and the figures at once.
kill "$linepid"
wait "$linepid" 2>/dev/null
linepid=""
wait_query 'tavu_connection_active{connection="ppp0"}' 20 0 || fail "the connection is still active"
[ "$(wc -l <"$config/logfile.log")" = 3 ] || fail "no record of the connection"
bytes=$(query tavu_period_bytes)
cost=$(query tavu_period_cost)
want_bytes=$(summary total_data_transmitted)
want_cost=$(summary total_cost)
echo "after the end: tavu_period_bytes $bytes, tavu_period_cost $cost; summary $want_bytes, $want_cost"
python3 -c "import sys; sys.exit(0 if float('$bytes') == float('$want_bytes') else 1)" ||
    fail "tavu_period_bytes $bytes is not the summary's $want_bytes"
python3 -c "import sys; sys.exit(0 if abs(float('$cost') - float('$want_cost')) <= 0.005 else 1)" ||
    fail "tavu_period_cost $cost is not the summary's $want_cost"
IFS='|' read -r _ _ _ _ _ _ _ sent received _ <<<"$(tail -n 1 "$config/logfile.log")"
[ "$(query 'tavu_receive_bytes_total{connection="ppp0"}')" = "$received" ] ||
    fail "tavu_receive_bytes_total is not the record's $received"
[ "$(query 'tavu_transmit_bytes_total{connection="ppp0"}')" = "$sent" ] ||
    fail "tavu_transmit_bytes_total is not the record's $sent"
[ "$(query 'tavu_receive_bytes_total{connection="Seed"}')" = 4000088 ] ||
    fail "the seed's counter is not all its records"
[ "$(query 'count(tavu_up{machine="test"})')" = 1 ] || fail "no machine label from the target"
[ "$(query 'count(tavu_period_bytes)')" = 1 ] || fail "without plans, not one period series"
[ "$(query 'count(tavu_period_bytes{plan="Default"})')" = 1 ] || fail "no plan=\"Default\" label"

# 3. A plan of its own for the seed's connection, with a billing day of its own: the monitor
# reads the changed settings at its next count.
cat >"$config/tavu.ini.new" <<'INI'
[Settings]
ShowSplash=0
[Price]
CostPerMinute=0.0100000000
CostPerMB=2.0000000000
[Warnings]
DataHangupMB=10000
[Plan Seed]
Match=Seed
BillingDay=15
CostPerMB=3.0000000000
FreeMonthMB=1
DataWarnMB=4
INI
mv "$config/tavu.ini.new" "$config/tavu.ini"
wait_query 'count(tavu_period_bytes)' 20 2 || fail "no second plan's series"
for plan in Default Seed; do
    want_bytes=$(summary total_data_transmitted "$plan")
    want_cost=$(summary total_cost "$plan")
    # The same number, however the two spell it.
    want=$(python3 -c "print(repr(float('$want_bytes')))")
    for _ in $(seq 100); do
        bytes=$(query "tavu_period_bytes{plan=\"$plan\"}")
        [ "$bytes" != none ] && [ "$(python3 -c "print(repr(float('$bytes')))")" = "$want" ] && break
        sleep 0.1
    done
    [ "$bytes" != none ] && [ "$(python3 -c "print(repr(float('$bytes')))")" = "$want" ] ||
        fail "plan $plan: tavu_period_bytes $bytes is not the summary's $want_bytes"
    cost=$(query "tavu_period_cost{plan=\"$plan\"}")
    echo "plan $plan: tavu_period_bytes $want_bytes, tavu_period_cost $cost; summary's cost $want_cost"
    python3 -c "import sys; sys.exit(0 if abs(float('$cost') - float('$want_cost')) <= 0.005 else 1)" ||
        fail "plan $plan: tavu_period_cost $cost is not the summary's $want_cost"
done
[ "$(query 'tavu_period_bytes{plan="Seed"}')" = 5000165 ] ||
    fail "plan Seed's period (from 15 November) does not hold both its records"
start=$(date -d '2026-11-15 00:00' +%s)
[ "$(query 'tavu_period_start_timestamp_seconds{plan="Seed"}')" = "$start" ] ||
    fail "plan Seed's period does not start on 15 November"
[ "$(query 'tavu_data_cap_bytes{kind="warn",plan="Seed"}')" = 4000000 ] ||
    fail "plan Seed's own cap is not served"
[ "$(query 'count(tavu_data_cap_bytes{plan="Seed"})')" = 1 ] ||
    fail "the default plan's hang-up cap is served for plan Seed"

kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "the monitor ended with status $status"
[ ! -s "$work/err.txt" ] || fail "the monitor complained: $(cat "$work/err.txt")"
echo PASS

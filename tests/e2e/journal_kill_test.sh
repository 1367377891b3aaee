#!/usr/bin/env bash
# The real program killed with SIGKILL during a connection, in a network namespace of its own
# with a busy point-to-point interface ppp0:
#  1. killed after 25 s, ppp0 taken down, started again: the log holds exactly one record, which
#     ends at most 10 s before the kill and counts the traffic;
#  2. killed while ppp0 stays up, started again, ppp0 taken down 10 s later: exactly one record,
#     from the start the first copy saw to the real end.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
line="$2"
e2e_need_root_and_ip tun
e2e_make_work tavu18-journal
linepid=""
e2e_kill="pid linepid"
e2e_signal=KILL
e2e_on_fail() { echo "--- log"; cat "${config:-}/logfile.log" 2>/dev/null; }
e2e_make_namespace tavu18-journal
export QT_QPA_PLATFORM=offscreen

# Seconds since the epoch of a log record's date and time fields (dd-mm-yyyy, HH:MM:SS).
epoch() { date -d "${1:6:4}-${1:3:2}-${1:0:2} $2" +%s; }

# A fresh configuration folder and runtime folder for one run.
setup_run() {
    config="$work/config$1"
    mkdir -p "$config" "$work/run$1"
    chmod 700 "$work/run$1"
    printf '[Settings]\nShowSplash=0\nConfirmExit=0\n' >"$config/tavu.ini"
    export XDG_RUNTIME_DIR="$work/run$1"
}
start_tavu() {
    ip netns exec "$ns" "$tavu" --config-dir "$config" >"$work/out$1.txt" 2>&1 &
    pid=$!
    sleep 2
    kill -0 "$pid" 2>/dev/null || fail "the program did not start ($1)"
}
kill_tavu() {
    kill -9 "$pid"
    wait "$pid" 2>/dev/null
    pid=""
}
one_record() {
    e2e_one_record "$config/logfile.log"
    [ "$entry" = ppp0 ] && [ "$device" = ppp0 ] || fail "entry '$entry', device '$device'"
    [ -z "$rest" ] || fail "more than nine fields"
    start_s=$(epoch "$sd" "$st")
    end_s=$(epoch "$ed" "$et")
}

ip netns exec "$ns" "$line" ppp0 10.64.0.1 10.64.0.2 >"$work/line.txt" 2>&1 &
linepid=$!
for _ in $(seq 50); do grep -q ready "$work/line.txt" && break; sleep 0.1; done
grep -q ready "$work/line.txt" || fail "the line did not come up"

# 1. Killed, the line down meanwhile.
setup_run 1
start_tavu a
sleep 23
kill_tavu
killed=$(date +%s)
in_ns ip link set ppp0 down
[ -f "$config/logfile.log.open" ] || fail "no journal beside the log"
start_tavu b
sleep 2
one_record
lost=$((killed - end_s))
{ [ "$lost" -ge 0 ] && [ "$lost" -le 10 ]; } || fail "the record ends $lost s before the kill"
{ [ "$sent" -gt 0 ] && [ "$received" -gt 0 ]; } || fail "volumes '$sent' '$received'"
[ ! -e "$config/logfile.log.open" ] || fail "the journal is still there"
kill_tavu
echo "PASS: killed with the line down"

# 2. Killed, the line still up: the next copy goes on timing it.
in_ns ip link set ppp0 up
setup_run 2
start_tavu c
sleep 10
first=$(sed -n 's/^record \([^|]*|[^|]*\)|.*/\1/p' "$config/logfile.log.open")
[ -n "$first" ] || fail "no journal of the connection"
kill_tavu
start_tavu d
sleep 8
in_ns ip link set ppp0 down
ended=$(date +%s)
sleep 2.5
one_record
[ "$sd|$st" = "$first" ] || fail "the record starts at $sd|$st, not $first"
late=$((end_s - ended))
{ [ "$late" -ge -1 ] && [ "$late" -le 2 ]; } || fail "the record ends $late s after the real end"
[ ! -e "$config/logfile.log.open" ] || fail "the journal is still there"
kill -0 "$pid" 2>/dev/null || fail "the second copy has ended"
echo "PASS"
exit 0

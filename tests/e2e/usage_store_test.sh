#!/usr/bin/env bash
# The usage store beside the log of the real program (`tavu monitor`), in a network namespace of
# its own with a busy point-to-point interface ppp0, read back with Python's sqlite3 module:
#  1. a connection taken down: its rows join its record and sum to its bytes and length;
#  2. killed with SIGKILL after 70 s: the rows miss at most the last minute; started again, the
#     connection goes on under the same key, and at its end its rows sum to its record again.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
line="$2"
e2e_need_root_and_ip tun
command -v python3 >/dev/null || { echo "skipped: needs python3"; exit 77; }
e2e_make_work tavu32-usage
linepid=""
e2e_kill="pid linepid"
e2e_signal=KILL
config="$work/config"
e2e_on_fail() { echo "--- log"; cat "$config/logfile.log" 2>/dev/null; }
e2e_make_namespace tavu32-usage
printf '[Settings]\nShowSplash=0\n' >"$config/tavu.ini"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

start_monitor() {
    ip netns exec "$ns" "$tavu" monitor --config-dir "$config" >>"$work/out.txt" \
        2>>"$work/err.txt" &
    pid=$!
    wait_for_socket "the monitor did not start"
}
# The sums of the stored rows of the log's last record: seconds, uploaded, downloaded, rows;
# with a key of "sd|st|device|entry" those of that key.
stored() {
    python3 - "$config/usage.db" "$1" <<'PY'
import sqlite3, sys
db = sqlite3.connect("file:" + sys.argv[1] + "?mode=ro", uri=True)
key = sys.argv[2].split("|")
row = db.execute(
    "SELECT sum(u.seconds), sum(u.uploaded), sum(u.downloaded), count(*) FROM usage u"
    " JOIN connections c ON c.id = u.connection WHERE c.start_date = ? AND c.start_time = ?"
    " AND c.device = ? AND c.connection = ?", key).fetchone()
print(" ".join(str(v or 0) for v in row))
PY
}
epoch() { date -d "${1:6:4}-${1:3:2}-${1:0:2} $2" +%s; }
check_last_record() {
    IFS='|' read -r sd st ed et _ device entry sent received _ <<<"$(tail -n 1 "$config/logfile.log" | tr -d '\r')"
    local length=$(($(epoch "$ed" "$et") - $(epoch "$sd" "$st")))
    read -r secs up down rows <<<"$(stored "$sd|$st|$device|$entry")"
    echo "record: $length s, $sent up, $received down; rows: $rows, $secs s, $up up, $down down"
    [ "$received" -gt 0 ] || fail "the record counts no traffic"
    [ "$secs" = "$length" ] && [ "$up" = "$sent" ] && [ "$down" = "$received" ] ||
        fail "the rows do not sum to the record"
    [ "$(stat -c %a "$config/usage.db")" = 600 ] || fail "usage.db is not 0600"
}

start_monitor
ip netns exec "$ns" "$line" ppp0 10.64.0.1 10.64.0.2 >"$work/line.txt" 2>&1 &
linepid=$!
for _ in $(seq 50); do grep -q ready "$work/line.txt" && break; sleep 0.1; done
grep -q ready "$work/line.txt" || fail "the line did not come up"

# 1. A connection of some seconds.
sleep 8
in_ns ip link set ppp0 down
sleep 2.5
[ "$(wc -l <"$config/logfile.log")" = 1 ] || fail "no record of the first connection"
check_last_record
echo "PASS: the rows of a connection sum to its record"

# 2. Killed after 70 s while up.
in_ns ip link set ppp0 up
sleep 70
kill -9 "$pid"
wait "$pid" 2>/dev/null
pid=""
killed=$(date +%s)
first=$(sed -n 's/^record \([^|]*\)|\([^|]*\)|.*/\1|\2/p' "$config/logfile.log.open")
[ -n "$first" ] || fail "no journal of the connection"
sd=${first%|*}
st=${first#*|}
read -r secs up down rows <<<"$(stored "$sd|$st|ppp0|ppp0")"
missing=$((killed - $(epoch "$sd" "$st") - secs))
echo "killed: $rows rows, $secs s stored, $missing s missing"
{ [ "$missing" -ge 0 ] && [ "$missing" -le 62 ]; } || fail "$missing s of usage are missing"
[ "$down" -gt 0 ] || fail "no bytes stored before the kill"

start_monitor
sleep 5
in_ns ip link set ppp0 down
sleep 2.5
[ "$(wc -l <"$config/logfile.log")" = 2 ] || fail "no record of the second connection"
[ "$(tail -n 1 "$config/logfile.log" | cut -d'|' -f1,2)" = "$first" ] ||
    fail "the resumed connection has another key"
check_last_record
[ ! -s "$work/err.txt" ] || fail "the monitor complained: $(cat "$work/err.txt")"
echo PASS
exit 0

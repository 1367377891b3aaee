#!/usr/bin/env bash
# `tavu monitor` with the real ModemManager and the AT modem simulator, in a network namespace
# of its own (the simulator's abstract sockets and the private bus live there too): a point-to-
# point line ppp0 is up, the simulator starts to roam, and the monitor says "Roaming" and warns;
# with HangupWhenRoaming=1 the line is hung up and its record reaches the log. A message in the
# modem is told once. Without the daemon the monitor says nothing about modems. Skipped (77)
# without root, ip or ModemManager.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
harness="$(cd "$(dirname "$0")/../support" && pwd)/mm_harness.sh"
sim="$(cd "$(dirname "$0")/../support" && pwd)/at_modem_sim.py"
e2e_make_work tavu-monmodem
e2e_need_root_and_ip
e2e_make_namespace tavu-monmodem
stop_harness() { bash "$harness" stop "$work/mm" 2>/dev/null; }
e2e_on_fail() {
    echo "--- out"
    cut -c1-200 "$work/out.txt" 2>/dev/null
    echo "--- err"
    cut -c1-200 "$work/err.txt" 2>/dev/null
}
trap 'stop_harness; e2e_cleanup' EXIT
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
cfg="$work/config"

# No daemon: the monitor runs as before, nothing said about modems.
printf '[Settings]\nShowSplash=0\n' >"$cfg/tavu.ini"
DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/none ip netns exec "$ns" "$tavu" monitor \
    --config-dir "$cfg" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
wait_for_socket "the monitor did not start"
sleep 1.5
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "the monitor ended with status $status: $(tail -5 "$work/err.txt")"
[ ! -s "$work/err.txt" ] || fail "without the daemon the monitor complained"
[ "$(wc -l <"$work/out.txt")" -le 3 ] || fail "without the daemon: $(cat "$work/out.txt")"

ip netns exec "$ns" bash "$harness" start "$work/mm"
status=$?
[ $status = 77 ] && exit 77
[ $status = 0 ] || fail "the modem daemon did not start"
export DBUS_SYSTEM_BUS_ADDRESS=$(cat "$work/mm/bus")
name=$(cat "$work/mm/name")
control() { in_ns python3 "$sim" control "$name" "$@" >/dev/null || fail "simulator: $*"; }
wait_out() {
    for _ in $(seq 100); do
        grep -q "$1" "$2" && return 0
        sleep 0.1
    done
    fail "$3"
}
run_monitor() {
    ip netns exec "$ns" "$tavu" monitor --config-dir "$cfg" >"$work/out.txt" 2>"$work/err.txt" &
    pid=$!
    wait_for_socket "the monitor did not start"
}

control sms +358401112223 "80 % of your data used"
run_monitor
wait_out "Message from +358401112223: 80 % of your data used" "$work/out.txt" "no message told"
e2e_add_tun ppp0 10.65.0.1 10.65.0.2
wait_out "Connection ppp0 detected" "$work/out.txt" "no status line for the connection"
sleep 1.5
control roaming
wait_out "Roaming$" "$work/out.txt" "no Roaming line"
grep -qP '^\d\d-\d\d-\d{4} \d\d:\d\d:\d\d Roaming$' "$work/out.txt" || fail "Roaming without time"
wait_out "You are roaming: data may cost much more." "$work/err.txt" "no roaming warning"
in_ns ip link show ppp0 >/dev/null 2>&1 || fail "the line was hung up without HangupWhenRoaming"
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "the monitor ended with status $status: $(tail -5 "$work/err.txt")"
[ "$(grep -c "Message from" "$work/out.txt")" = 1 ] || fail "the message was told twice"
control home
in_ns ip link del ppp0
rm -f "$cfg/logfile.log"

# HangupWhenRoaming: the line goes, and its record is logged. A message told in the run
# before is not told again.
printf '[Settings]\nShowSplash=0\n[Warnings]\nHangupWhenRoaming=1\n' >"$cfg/tavu.ini"
run_monitor
e2e_add_tun ppp0 10.65.0.1 10.65.0.2
wait_out "Connection ppp0 detected" "$work/out.txt" "no status line for the second connection"
sleep 1.5
control roaming
wait_out "started to roam" "$work/err.txt" "the roaming line was not closed"
for _ in $(seq 50); do
    [ -s "$cfg/logfile.log" ] && break
    sleep 0.1
done
[ "$(wc -l <"$cfg/logfile.log" 2>/dev/null)" = 1 ] || fail "no record of the closed line"
grep -q "Message from" "$work/out.txt" && fail "the message was told again"
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "the monitor ended with status $status: $(tail -5 "$work/err.txt")"
echo PASS
exit 0

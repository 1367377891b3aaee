#!/usr/bin/env bash
# `tavu monitor` without any display, in a network namespace of its own: a point-to-point
# interface ppp0 comes up and goes down and its record reaches the log; a second copy (with or
# without windows) says that TAVU is already running; SIGTERM writes the record of a connection
# still up. Also: `tavu` itself without a display says so plainly.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
e2e_make_work tavu19-monitor

# No display: one plain message and the commands that work, status 1, no core dump.
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$tavu" --config-dir "$work/nodisplay" \
    >"$work/nd_out.txt" 2>"$work/nd_err.txt"
status=$?
[ "$status" = 1 ] || fail "without a display the status is $status"
[ "$(head -n 1 "$work/nd_err.txt")" = "TAVU needs a desktop session (no display found)." ] ||
    fail "without a display: $(cat "$work/nd_err.txt")"
grep -q "tavu monitor" "$work/nd_err.txt" || fail "the message names no tavu monitor"

e2e_need_root_and_ip
e2e_make_namespace tavu19-mon
printf '[Settings]\nShowSplash=0\n' >"$work/config/tavu.ini"

unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
ip netns exec "$ns" "$tavu" monitor --config-dir "$work/config" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
wait_for_socket "the monitor did not start"

e2e_add_tun ppp0 10.64.0.1 10.64.0.2
sleep 3
grep -q "Connection ppp0 detected" "$work/out.txt" || fail "no status line for the connection"

for second in "monitor" ""; do
    QT_QPA_PLATFORM=offscreen in_ns "$tavu" $second --config-dir "$work/config" \
        >/dev/null 2>"$work/second.txt"
    status=$?
    [ "$status" = 1 ] || fail "a second copy ('$second') ended with status $status"
    [ "$(cat "$work/second.txt")" = "TAVU is already running." ] ||
        fail "the second copy said: $(cat "$work/second.txt")"
done

in_ns ip link del ppp0
sleep 2.5
log="$work/config/logfile.log"
[ "$(wc -l <"$log" 2>/dev/null)" = 1 ] || fail "after one connection the log is: $(cat "$log" 2>/dev/null)"

# A connection still up when the monitor is stopped gets its record too.
e2e_add_tun ppp0 10.64.0.1 10.64.0.2
sleep 2.5
kill -TERM "$pid"
wait "$pid"
status=$?
pid=""
[ "$status" = 0 ] || fail "after SIGTERM the monitor ended with status $status"
[ "$(wc -l <"$log")" = 2 ] || fail "after SIGTERM the log is: $(cat "$log")"
IFS='|' read -r _ _ _ _ _ device entry _ <<<"$(tail -n 1 "$log")"
[ "$entry" = ppp0 ] && [ "$device" = ppp0 ] || fail "the last record: $(tail -n 1 "$log")"
[ ! -s "$work/err.txt" ] || fail "the monitor complained: $(cat "$work/err.txt")"
echo PASS

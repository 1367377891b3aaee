#!/usr/bin/env bash
# The real program, without a display, in a network namespace of its own: a point-to-point
# interface named ppp0 comes up and goes down, and exactly one correct record reaches the log,
# timed from the moment the link came up.
# A second copy started meanwhile hands over to the first and ends with status 1.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
e2e_need_root_and_ip
e2e_make_work tavu-e2e-tun
e2e_make_namespace tavu-e2e
cat >"$work/config/tavu.ini" <<INI
[Settings]
ShowSplash=0
ConfirmExit=0
INI

export QT_QPA_PLATFORM=offscreen
ip netns exec "$ns" "$tavu" --config-dir "$work/config" >"$work/out.txt" 2>&1 &
pid=$!
wait_for_socket

# The link comes up early in a second. The kernel's link event makes the program look at once:
# the connection is timed from that second (the poll would have seen it in the next one) and
# its journal is begun.
in_ns ip tuntap add dev ppp0 mode tun || fail "cannot make a tun device named ppp0"
in_ns ip addr add 10.64.0.1 peer 10.64.0.2 dev ppp0
sleep 1
while [ "$(date +%N | cut -c1)" != 0 ]; do sleep 0.005; done
up_at=$(date +%s)
in_ns ip link set ppp0 up
up_done=$(date +%s)
for _ in $(seq 30); do
    [ -f "$work/config/logfile.log.open" ] && break
    sleep 0.1
done
[ -f "$work/config/logfile.log.open" ] || fail "no journal for the connection"
sleep 2

# A second copy hands over to the running one and ends with status 1.
in_ns "$tavu" --config-dir "$work/config" >"$work/second.txt" 2>&1
status=$?
[ "$status" = 1 ] || fail "the second copy ended with status $status, not 1"

in_ns ip link set ppp0 down
sleep 2.5

e2e_one_record "$work/config/logfile.log"
today=$(date +%d-%m-%Y)
[ "$sd" = "$today" ] || [ "$ed" = "$today" ] || fail "dates $sd $ed are not today"
[[ "$st" =~ ^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$ ]] || fail "start time '$st'"
[[ "$et" =~ ^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$ ]] || fail "end time '$et'"
[ "$entry" = ppp0 ] || fail "entry '$entry' is not ppp0"
[ "$device" = ppp0 ] || fail "device '$device' is not ppp0"
[[ "$sent" =~ ^[0-9]+$ ]] && [[ "$received" =~ ^[0-9]+$ ]] || fail "volumes '$sent' '$received'"
if [ "$up_done" = "$up_at" ]; then
    [ "$st" = "$(date -d "@$up_at" +%H:%M:%S)" ] ||
        fail "the link came up at $(date -d "@$up_at" +%H:%M:%S) but the connection started at $st"
else
    echo "note: bringing the link up took past a whole second; its start time is not compared"
fi
start_s=$(date -d "${st}" +%s)
end_s=$(date -d "${et}" +%s)
span=$((end_s - start_s))
{ [ "$span" -ge 2 ] && [ "$span" -le 6 ]; } || fail "the connection lasted $span s"
kill -0 "$pid" 2>/dev/null || fail "the first copy has ended"
echo "PASS"
exit 0

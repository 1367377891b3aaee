#!/usr/bin/env bash
# The real program, without a display, in a network namespace of its own beside a VPN tunnel
# (tun0, with a peer address and packets sent into it): the tunnel is no dial-up line, so it gets no record
# and stays up, while a tun device named ppp0 still counts.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
e2e_need_root_and_ip
e2e_make_work tavu13-vpn
e2e_make_namespace tavu13-vpn
cat >"$work/config/tavu.ini" <<INI
[Settings]
ShowSplash=0
ConfirmExit=0
ConfirmHangup=0
INI

# The tunnel is up before the program starts.
e2e_add_tun tun0 10.113.0.1 10.113.0.2

export QT_QPA_PLATFORM=offscreen
ip netns exec "$ns" "$tavu" --config-dir "$work/config" >"$work/out.txt" 2>&1 &
pid=$!
wait_for_socket

# Packets sent into the tunnel while the program watches (no process reads this tun device, so
# the kernel may drop them; the platform tests count real tunnel traffic).
for _ in 1 2 3 4 5; do
    in_ns bash -c 'echo traffic >/dev/udp/10.113.0.2/9' 2>/dev/null
    sleep 0.2
done
sleep 2
in_ns ip link show tun0 | grep -q "[<,]UP[,>]" || fail "the tunnel was taken down"
in_ns ip link set tun0 down
sleep 2
[ -s "$work/config/logfile.log" ] && fail "the tunnel got a record: $(cat "$work/config/logfile.log")"

# A dial-up line beside the tunnel still counts, and only it is recorded.
in_ns ip link set tun0 up
e2e_add_tun ppp0 10.113.1.1 10.113.1.2
sleep 2.5
in_ns ip link set ppp0 down
sleep 2.5
in_ns ip link show tun0 | grep -q "[<,]UP[,>]" || fail "the tunnel was taken down"
e2e_one_record "$work/config/logfile.log" "the dial-up line got no record"
[ "$entry" = ppp0 ] && [ "$device" = ppp0 ] || fail "the record is of '$entry' on '$device'"
kill -0 "$pid" 2>/dev/null || fail "the program has ended"
echo "PASS"
exit 0

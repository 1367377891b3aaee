#!/usr/bin/env bash
# The real program, without a display, in a network namespace of its own beside a VPN tunnel
# (tun0, with a peer address and packets sent into it): the tunnel is no dial-up line, so it gets no record
# and stays up, while a tun device named ppp0 still counts.
set -u
tavu="$1"
if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null; then
    echo "skipped: needs root and the ip command to make a network namespace"
    exit 77
fi

ns="tavu13-vpn-$$"
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    ip netns del "$ns" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- program output"; cat "$work/out.txt" 2>/dev/null; exit 1; }
in_ns() { ip netns exec "$ns" "$@"; }

ip netns add "$ns" || fail "cannot make a network namespace"
in_ns ip link set lo up
mkdir -p "$work/config" "$work/run"
chmod 700 "$work/run"
cat >"$work/config/tavu.ini" <<INI
[Settings]
ShowSplash=0
ConfirmExit=0
ConfirmHangup=0
INI

# The tunnel is up before the program starts.
in_ns ip tuntap add dev tun0 mode tun || fail "cannot make a tun device"
in_ns ip addr add 10.113.0.1 peer 10.113.0.2 dev tun0
in_ns ip link set tun0 up

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"
in_ns "$tavu" --config-dir "$work/config" >"$work/out.txt" 2>&1 &
pid=$!
for _ in $(seq 50); do
    if [ -n "$(find "$work/run/tavu" -type s 2>/dev/null)" ]; then break; fi
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null || fail "the program did not start"

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
in_ns ip tuntap add dev ppp0 mode tun || fail "cannot make a tun device named ppp0"
in_ns ip addr add 10.113.1.1 peer 10.113.1.2 dev ppp0
in_ns ip link set ppp0 up
sleep 2.5
in_ns ip link set ppp0 down
sleep 2.5
in_ns ip link show tun0 | grep -q "[<,]UP[,>]" || fail "the tunnel was taken down"
log="$work/config/logfile.log"
[ -f "$log" ] || fail "the dial-up line got no record"
lines=$(wc -l <"$log")
[ "$lines" = 1 ] || fail "the log holds $lines lines, not 1"
IFS='|' read -r _ _ _ _ _ device entry _ <<<"$(tr -d '\r' <"$log")"
[ "$entry" = ppp0 ] && [ "$device" = ppp0 ] || fail "the record is of '$entry' on '$device'"
kill -0 "$pid" 2>/dev/null || fail "the program has ended"
echo "PASS"
exit 0

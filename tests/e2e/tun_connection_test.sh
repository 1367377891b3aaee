#!/usr/bin/env bash
# The real program, without a display, in a network namespace of its own: a point-to-point
# interface named ppp0 comes up and goes down, and exactly one correct record reaches the log.
# A second copy started meanwhile hands over to the first and ends with status 1.
set -u
tavu="$1"
if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null; then
    echo "skipped: needs root and the ip command to make a network namespace"
    exit 77
fi

ns="tavu-e2e-$$"
work=$(mktemp -d)
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    ip netns del "$ns" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; echo "--- program output"; cat "$work/out.txt" 2>/dev/null; exit 1; }

ip netns add "$ns" || fail "cannot make a network namespace"
ip netns exec "$ns" ip link set lo up
mkdir -p "$work/config" "$work/run"
chmod 700 "$work/run"
cat >"$work/config/tavu.ini" <<INI
[Settings]
ShowSplash=0
ConfirmExit=0
INI

export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/run"
ip netns exec "$ns" "$tavu" --config-dir "$work/config" >"$work/out.txt" 2>&1 &
pid=$!

# Wait until the program answers on its single-instance channel.
for _ in $(seq 50); do
    if [ -n "$(find "$work/run/tavu" -type s 2>/dev/null)" ]; then break; fi
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null || fail "the program did not start"

ip netns exec "$ns" ip tuntap add dev ppp0 mode tun || fail "cannot make a tun device"
ip netns exec "$ns" ip addr add 10.64.0.1 peer 10.64.0.2 dev ppp0
ip netns exec "$ns" ip link set ppp0 up
sleep 3

# A second copy hands over to the running one and ends with status 1.
ip netns exec "$ns" "$tavu" --config-dir "$work/config" >"$work/second.txt" 2>&1
status=$?
[ "$status" = 1 ] || fail "the second copy ended with status $status, not 1"

ip netns exec "$ns" ip link set ppp0 down
sleep 2.5

log="$work/config/logfile.log"
[ -f "$log" ] || fail "no log was written"
lines=$(wc -l <"$log")
[ "$lines" = 1 ] || fail "the log holds $lines lines, not 1"
record=$(tr -d '\r' <"$log")
today=$(date +%d-%m-%Y)
echo "record: $record"
IFS='|' read -r sd st ed et user device entry sent received rest <<<"$record"
[ "$sd" = "$today" ] || [ "$ed" = "$today" ] || fail "dates $sd $ed are not today"
[[ "$st" =~ ^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$ ]] || fail "start time '$st'"
[[ "$et" =~ ^[0-2][0-9]:[0-5][0-9]:[0-5][0-9]$ ]] || fail "end time '$et'"
[ "$entry" = ppp0 ] || fail "entry '$entry' is not ppp0"
[ "$device" = ppp0 ] || fail "device '$device' is not ppp0"
[[ "$sent" =~ ^[0-9]+$ ]] && [[ "$received" =~ ^[0-9]+$ ]] || fail "volumes '$sent' '$received'"
start_s=$(date -d "${st}" +%s)
end_s=$(date -d "${et}" +%s)
span=$((end_s - start_s))
{ [ "$span" -ge 2 ] && [ "$span" -le 6 ]; } || fail "the connection lasted $span s"
kill -0 "$pid" 2>/dev/null || fail "the first copy has ended"
echo "PASS"
exit 0

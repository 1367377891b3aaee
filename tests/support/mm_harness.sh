#!/usr/bin/env bash
# The real ModemManager with one simulated modem, on a private bus, for the tests.
#
#   mm_harness.sh start DIR   starts a private bus, the AT modem simulator (at_modem_sim.py) and
#                             ModemManager in its test mode, makes the daemon take the
#                             simulator's two sockets as a modem, enables it and waits until it
#                             is registered. Writes DIR/bus (the bus address), DIR/name (the
#                             simulator's name for `at_modem_sim.py control`) and DIR/pids;
#                             the daemon's output goes to DIR/mm.txt, the simulator's AT
#                             commands to DIR/at.txt. Exit status 77 when ModemManager, mmcli
#                             or dbus-daemon is missing, 1 when something did not start.
#   mm_harness.sh stop DIR    ends what start started.
#
# The program under test finds the daemon on the system bus: point DBUS_SYSTEM_BUS_ADDRESS at
# the address in DIR/bus.
set -u
here=$(cd "$(dirname "$0")" && pwd)
cmd=${1:-}
dir=${2:-}
[ -n "$dir" ] || { echo "usage: $0 start|stop DIR" >&2; exit 2; }
PATH=$PATH:/usr/sbin:/sbin

stop() {
    [ -f "$dir/pids" ] || return 0
    local p
    for p in $(cat "$dir/pids"); do
        kill "$p" 2>/dev/null
    done
    rm -f "$dir/pids"
}

fail() {
    echo "mm_harness: $*" >&2
    tail -5 "$dir/mm.txt" >&2 2>/dev/null
    stop
    exit 1
}

case "$cmd" in
stop)
    stop
    exit 0
    ;;
start) ;;
*)
    echo "usage: $0 start|stop DIR" >&2
    exit 2
    ;;
esac

for p in ModemManager mmcli dbus-daemon dbus-send python3; do
    command -v "$p" >/dev/null || { echo "skipped: $p is not installed"; exit 77; }
done
mkdir -p "$dir" || exit 1
: >"$dir/pids"
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no private bus"
address=$(sed -n 1p <<<"$bus")
echo "$(sed -n 2p <<<"$bus")" >>"$dir/pids"
echo "$address" >"$dir/bus"
# --test-session puts the daemon on the session bus and asks polkit nothing; the tools ask the
# system bus: both are the private one.
export DBUS_SESSION_BUS_ADDRESS=$address DBUS_SYSTEM_BUS_ADDRESS=$address
name="tavu-modem-$$-$RANDOM"
echo "$name" >"$dir/name"
python3 "$here/at_modem_sim.py" serve "$name" --log "$dir/at.txt" >"$dir/sim.txt" 2>&1 &
echo $! >>"$dir/pids"
for _ in $(seq 50); do
    grep -q ready "$dir/sim.txt" 2>/dev/null && break
    sleep 0.1
done
grep -q ready "$dir/sim.txt" || fail "the simulator did not start: $(cat "$dir/sim.txt")"
ModemManager --test-session --test-enable --test-no-udev --no-auto-scan \
    --test-no-suspend-resume --test-no-qrtr --debug >"$dir/mm.txt" 2>&1 &
echo $! >>"$dir/pids"
mm_call() {
    dbus-send --session --print-reply --dest=org.freedesktop.ModemManager1 \
        /org/freedesktop/ModemManager1 "$@"
}
for _ in $(seq 100); do
    mm_call org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
    sleep 0.1
done
mm_call org.freedesktop.ModemManager1.Test.SetProfile string:sim0 string:generic \
    array:string:"abstract:$name-0","abstract:$name-1" >/dev/null ||
    fail "the daemon did not take the simulated modem"
for _ in $(seq 100); do
    mmcli -m 0 >/dev/null 2>&1 && break
    sleep 0.1
done
mmcli -m 0 -e >/dev/null 2>&1 || fail "the simulated modem could not be enabled"
for _ in $(seq 100); do
    mmcli -m 0 -K 2>/dev/null | grep -q 'modem.3gpp.registration-state *: home' && exit 0
    sleep 0.1
done
fail "the simulated modem did not register"

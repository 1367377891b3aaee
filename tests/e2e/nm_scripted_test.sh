#!/usr/bin/env bash
# `tavu dial` against a scripted NetworkManager on a private bus (scripted_nm.py): a busy modem
# shows "The line is busy." and is redialled by the busy rule; each failure reason of the modem
# gives its own error text; a polkit refusal names the permission. Then the running program's
# Connect command redials the busy modem through the progress window, with the stored password.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
bus_pid=""
nm_pid=""
e2e_kill="pid nm_pid bus_pid"
if ! command -v dbus-daemon >/dev/null || ! /usr/bin/python3 -c "import dbus, gi" 2>/dev/null; then
    echo "skipped: needs dbus-daemon and python3-dbus with GObject"
    exit 77
fi
e2e_make_work tavu-nm-scripted
bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || fail "no private bus"
export DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
bus_pid=$(sed -n 2p <<<"$bus")
script="$work/script.txt"
: >"$script"
/usr/bin/python3 "$(dirname "$0")/scripted_nm.py" "$script" >"$work/err_nm.txt" 2>&1 &
nm_pid=$!
for _ in $(seq 50); do
    "$tavu" entries --config-dir "$work/config" 2>/dev/null | grep -q "^Modem (NetworkManager)" && break
    sleep 0.1
done
"$tavu" entries --config-dir "$work/config" | grep -qx "Modem (NetworkManager)" ||
    fail "the scripted NetworkManager's modem is not an entry"
printf '[Dialup]\nBackend=pppd\n' >"$work/config/tavu.ini"
"$tavu" entries --config-dir "$work/config" 2>&1 | grep -q "^Modem" &&
    fail "the peer files alone were asked for, and NetworkManager's modem is listed"

# Busy twice, then the line answers: rule 1 with three attempts redials twice.
printf '23\n23\nconnect\n' >"$script"
printf '[Settings]\nRedialWhenBusy=1\nRedialTimes=3\n' >"$work/config/tavu.ini"
"$tavu" dial Modem --config-dir "$work/config" >"$work/out_busy.txt" 2>&1 ||
    fail "the redialled dial did not connect"
[ "$(grep -c '^The line is busy\.$' "$work/out_busy.txt")" = 2 ] || fail "busy texts"
[ "$(grep -c '^Redialing, please wait\.\.\.$' "$work/out_busy.txt")" = 2 ] || fail "redials"
grep -qx "Connecting to the device..." "$work/out_busy.txt" || fail "no dial state shown"
tail -1 "$work/out_busy.txt" | grep -qx "Connected to remote server successfully!" || fail "not connected"

# The password given for a dial reaches NetworkManager through the secret agent, off the
# command line, and only for that dial.
echo "secret s3cret" >"$script"
echo s3cret | "$tavu" dial Modem --user ann --password-stdin --config-dir "$work/config" \
    >"$work/out_secret.txt" 2>&1 || fail "the password did not reach NetworkManager"
echo "secret s3cret" >"$script"
"$tavu" dial Modem --config-dir "$work/config" >"$work/out_nosecret.txt" 2>&1 &&
    fail "a dial without a password was given the last one"
# A caller that is not NetworkManager asks the agent during the dial: an error, no secret.
echo "thief s3cret" >"$script"
echo s3cret | "$tavu" dial Modem --user ann --password-stdin --config-dir "$work/config" \
    >"$work/out_thief.txt" 2>&1 || fail "the dial with a password asked by another caller failed"
grep -q "^thief got" "$script.log" && fail "a caller that is not NetworkManager got the password"
grep -qx "thief refused" "$script.log" || fail "the other caller was not refused"

# Without the busy rule each reason ends the dial with its own text.
printf '[Settings]\nRedialWhenBusy=0\n' >"$work/config/tavu.ini"
check() {
    echo "$1" >"$script"
    "$tavu" dial Modem --config-dir "$work/config" >"$work/out_$1.txt" 2>&1 &&
        fail "reason $1: the dial succeeded"
    last=$(tail -1 "$work/out_$1.txt")
    [ "$last" = "$2" ] || fail "reason $1 gave '$last', not '$2'"
}
check 23 "The line is busy."
check 24 "There is no dial tone."
check 25 "There was no carrier on the line."
check 26 "The remote computer did not answer."
check 27 "The modem reported an error."
check 14 "Access was denied because the user name or password is not valid."
check 43 "The modem is not available: it is missing or used by another program."
check 13 "The connection was closed by the remote computer."
check 45 "The modem reported an error (the SIM card is not inserted)."
check 99 "The dial failed for a reason the program does not know (NetworkManager's reason 99)."
echo deny >"$script"
"$tavu" dial Modem --config-dir "$work/config" >"$work/out_deny.txt" 2>&1 && fail "a refused dial succeeded"
grep -q "org.freedesktop.NetworkManager.network-control" "$work/out_deny.txt" ||
    fail "the refusal does not name the permission"
printf '23\nsecret s3cret\n' >"$script"
rm -f "$script.log"
cat >"$work/config/tavu.ini" <<INI
[Settings]
DefaultCon=Modem
RedialWhenBusy=2
ShowSplash=0
ConfirmExit=0
[Connections]
ModemUser=ann
ModemPassword=s3cret
INI
QT_QPA_PLATFORM=offscreen "$tavu" --config-dir "$work/config" >"$work/out_window.txt" 2>&1 &
pid=$!
wait_for_answer "$tavu"
"$tavu" --command connect || fail "--command connect"
for _ in $(seq 100); do
    [ "$(cat "$script.log" 2>/dev/null)" = "$(printf 'failed 23\nactivated')" ] && break
    sleep 0.1
done
[ "$(cat "$script.log" 2>/dev/null)" = "$(printf 'failed 23\nactivated')" ] ||
    fail "the progress window's dials ended: $(cat "$script.log" 2>/dev/null)"
echo "PASS"
exit 0

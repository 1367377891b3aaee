#!/usr/bin/env bash
# `tavu balance` and `tavu messages` against the real ModemManager and the AT modem simulator
# (tests/support/mm_harness.sh): the operator's reply printed and kept, a request for more
# cancelled, control characters made visible, a reply the daemon refuses, one that never comes,
# a message listed once, 8-bit data shown in hexadecimal; and last a 64 KB reply, which ends the
# daemon: a clear message, no crash. Skipped (77) without ModemManager.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
harness="$(dirname "$0")/../support/mm_harness.sh"
sim="$(dirname "$0")/../support/at_modem_sim.py"
e2e_make_work tavu-modem
stop_harness() { bash "$harness" stop "$work/mm"; }
e2e_on_fail() {
    echo "--- ModemManager"
    tail -20 "$work/mm/mm.txt" 2>/dev/null | cut -c1-300
}
trap 'stop_harness; e2e_cleanup' EXIT
bash "$harness" start "$work/mm"
status=$?
[ $status = 77 ] && exit 77
[ $status = 0 ] || fail "the modem daemon did not start"
export DBUS_SYSTEM_BUS_ADDRESS=$(cat "$work/mm/bus")
name=$(cat "$work/mm/name")
control() { python3 "$sim" control "$name" "$@" >/dev/null || fail "simulator: $*"; }
cfg="$work/config"
balance() { "$tavu" balance --config-dir "$cfg" "$@" >"$work/out.txt" 2>"$work/err.txt"; }

# No code set: said so, nothing asked.
balance && fail "a balance without a code succeeded"
grep -q "No balance code is set" "$work/err.txt" || fail "no code: $(cat "$work/err.txt")"
grep -q CUSD=1, "$work/mm/at.txt" && fail "the modem was asked without a code"

printf '[Settings]\nBalanceUSSD=*100#\n' >"$cfg/tavu.ini"
balance || fail "tavu balance failed"
[ "$(cat "$work/out.txt")" = "Your balance is 1.5 GB left" ] || fail "reply: $(cat "$work/out.txt")"
grep -q 'AT+CUSD=1,"2A31303023",15' "$work/mm/at.txt" || fail "the code did not reach the modem"
# Kept with its time in the usage store beside the log.
kept=$(python3 -c 'import sqlite3, sys
print(sqlite3.connect(sys.argv[1]).execute(
    "SELECT code || \"|\" || reply FROM operator_replies").fetchall())' "$cfg/usage.db")
[ "$kept" = "[('*100#|Your balance is 1.5 GB left',)]" ] || fail "stored: $kept"

# A plan's own code, chosen by name; the default plan's when no connection is up.
printf '[Settings]\nBalanceUSSD=*100#\n[Plan Modem]\nMatch=ttyUSB9\nBalanceUSSD=*111#\n' \
    >"$cfg/tavu.ini"
balance --plan Modem || fail "tavu balance --plan Modem failed: $(cat "$work/err.txt")"
grep -q 'AT+CUSD=1,"2A31313123",15' "$work/mm/at.txt" || fail "the plan's code was not sent"
balance --plan Nope && fail "a plan that does not exist was taken"
grep -q 'no plan named "Nope"' "$work/err.txt" || fail "no such plan: $(cat "$work/err.txt")"
[ "$(grep -c 'AT+CUSD=1,"2A31303023",15' "$work/mm/at.txt")" = 1 ] || fail "not the default code"
balance || fail "the default plan's balance failed"
[ "$(grep -c 'AT+CUSD=1,"2A31303023",15' "$work/mm/at.txt")" = 2 ] || fail "not the default code"
printf '[Settings]\nBalanceUSSD=*100#\n' >"$cfg/tavu.ini"

# The modem by its number; a number no modem has.
balance --modem 0 || fail "--modem 0"
balance --modem 7 && fail "--modem 7 found a modem"
[ "$(cat "$work/err.txt")" = "No modem that can ask for the balance." ] ||
    fail "--modem 7: $(cat "$work/err.txt")"

# The network asks for more: shown as it is, and the session is cancelled.
control ussd-more "Reply 1 for more"
balance || fail "a reply asking for more failed"
[ "$(cat "$work/out.txt")" = "Reply 1 for more" ] || fail "more: $(cat "$work/out.txt")"
grep -q "asked for more" "$work/err.txt" || fail "the request for more was not told"
mmcli -m 0 --3gpp-ussd-status | grep -q 'status: idle' || fail "the USSD session was left open"

# A form feed and a lone carriage return in the reply become question marks.
control ussd-hex 411B0A421B650D43
balance || fail "a reply with control characters failed"
[ "$(cat "$work/out.txt")" = "$(printf 'A?B\xe2\x82\xac?C')" ] ||
    fail "control characters: $(od -c "$work/out.txt")"

# Bytes the modem's character set lacks: the daemon refuses, and says why.
control ussd-hex 41FF42
balance && fail "an undecodable reply succeeded"
grep -q "^The balance could not be asked: " "$work/err.txt" || fail "refused: $(cat "$work/err.txt")"

# No answer: the deadline (shortened for the test) ends the wait; the next request works.
control ussd-never
start=$(date +%s)
TAVU_TEST_USSD_DEADLINE_MS=1500 balance && fail "an unanswered request succeeded"
[ $(($(date +%s) - start)) -lt 10 ] || fail "the deadline was not kept"
grep -q "did not answer the balance code \*100# in time" "$work/err.txt" ||
    fail "no answer: $(cat "$work/err.txt")"
control ussd-reply "Saldo 2.50 EUR"
balance || fail "the request after an unanswered one failed: $(cat "$work/err.txt")"
[ "$(cat "$work/out.txt")" = "Saldo 2.50 EUR" ] || fail "after the deadline: $(cat "$work/out.txt")"

# Messages: each listed once, tab-separated, plain; 8-bit data in hexadecimal.
control sms +358401112223 "80 % of your data used"
control sms-data Operator 00FF1B41
for _ in $(seq 50); do
    [ "$("$tavu" messages --config-dir "$cfg" 2>/dev/null | wc -l)" = 2 ] && break
    sleep 0.1
done
"$tavu" messages --config-dir "$cfg" >"$work/out_messages.txt" 2>"$work/err.txt" ||
    fail "tavu messages failed"
[ "$(grep -c $'\t+358401112223\t80 % of your data used$' "$work/out_messages.txt")" = 1 ] ||
    fail "the message is not listed once"
grep -qP '^\d\d-\d\d-\d{4} \d\d:\d\d:\d\d\tOperator\tData: 00 FF 1B 41$' \
    "$work/out_messages.txt" || fail "the data message"
[ "$(wc -l <"$work/out_messages.txt")" = 2 ] || fail "more lines than messages"
"$tavu" messages --modem 3 --config-dir "$cfg" 2>"$work/err.txt" && fail "--modem 3 listed"

# 64 KB: this version of the daemon gives up on a reply over 4096 characters and ends. The
# program says so and ends by itself, without a crash.
control ussd-reply "$(head -c 65536 /dev/zero | tr '\0' x)"
TAVU_TEST_USSD_DEADLINE_MS=5000 balance
status=$?
[ $status = 1 ] || fail "64 KB reply: exit status $status: $(cat "$work/err.txt")"
grep -qx "The balance could not be asked: ModemManager ended before the operator answered." \
    "$work/err.txt" || fail "64 KB reply: $(cat "$work/err.txt")"
[ "$(wc -c <"$work/out.txt")" -le 4097 ] || fail "64 KB reply printed whole"
balance && fail "a balance without the daemon succeeded"
[ "$(cat "$work/err.txt")" = "No modem that can ask for the balance." ] ||
    fail "without the daemon: $(cat "$work/err.txt")"
echo PASS
exit 0

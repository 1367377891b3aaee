#!/bin/bash
# The real program on a simulated line with two connections up at once, under two plans: the
# cost check closes the one whose plan reached its data limit, names that plan, and the other
# stays up until it is hung up, and is logged then.
set -u
. "$(dirname "$0")/lib.sh"
TAVU=$1
SCRIPT=$2
e2e_make_work tavu-two-plans
export QT_QPA_PLATFORM=offscreen
cat > "$work/config/tavu.ini" <<INI
[Settings]
ShowSplash=0
ConfirmHangup=0
[Plan Modem]
Match=Modem
DataHangupMB=3
[Plan Travel]
Match=/dev/ttyS2
DataHangupMB=3
INI

"$TAVU" --config-dir "$work/config" --simulate "$SCRIPT" > "$work/out.txt" 2>&1 &
pid=$!
wait_for_answer "$TAVU"
# Modem passes 3 MB within 30 s; the cost check runs once a minute.
for _ in $(seq 100); do
    grep -q "|Modem|" "$work/config/logfile.log" 2>/dev/null && break
    sleep 1
done
grep -q "|/dev/ttyUSB0|Modem|" "$work/config/logfile.log" 2>/dev/null ||
    fail "Modem was not closed and logged"
grep -q "|Travel|" "$work/config/logfile.log" && fail "Travel was closed too"
"$TAVU" --command hangup || fail "--command hangup"
for _ in $(seq 20); do
    grep -q "|Travel|" "$work/config/logfile.log" && break
    sleep 0.5
done
cat "$work/config/logfile.log"
[ "$(wc -l < "$work/config/logfile.log")" -eq 2 ] || fail "two records expected"
grep -q "|/dev/ttyS2|Travel|" "$work/config/logfile.log" || fail "no record of Travel"
echo PASS

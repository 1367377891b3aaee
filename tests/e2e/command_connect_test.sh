#!/bin/bash
# The real program on the simulated line, without a display: a second process asks the running
# copy to connect; the dial redials once on the busy line, the connection is timed, hung up on
# request and logged under the entry's name.
set -u
. "$(dirname "$0")/lib.sh"
TAVU=$1
DEMO=$2
e2e_make_work tavu-i10-command
export QT_QPA_PLATFORM=offscreen
cat > "$work/config/tavu.ini" <<INI
[Settings]
DefaultCon=Provider
RedialWhenBusy=2
ConfirmHangup=0
ShowSplash=0
[Connections]
ProviderUser=ann
ProviderPassword=secret
INI

if "$TAVU" --command connect 2> "$work/alone.txt"; then
    fail "--command without a running copy succeeded"
fi
grep -qx "TAVU is not running." "$work/alone.txt" || fail "$(cat "$work/alone.txt")"

"$TAVU" --config-dir "$work/config" --simulate "$DEMO" > "$work/out.txt" 2>&1 &
pid=$!
wait_for_answer "$TAVU"
"$TAVU" --command connect || fail "--command connect"
# Busy (4 s), the redial after 1.5 s, the full dial (about 8 s), then some time online.
sleep 20
"$TAVU" --command hangup || fail "--command hangup"
for _ in $(seq 20); do
    [ -s "$work/config/logfile.log" ] && break
    sleep 0.5
done
cat "$work/config/logfile.log" 2>/dev/null
grep -q "|Provider|" "$work/config/logfile.log" 2>/dev/null || fail "no record of Provider"
"$TAVU" --command nonsense 2>/dev/null
[ $? -eq 2 ] || fail "unknown name"
echo PASS

#!/bin/bash
# The real program on the simulated line, without a display: a second process asks the running
# copy to connect; the dial redials once on the busy line, the connection is timed, hung up on
# request and logged under the entry's name.
set -u
TAVU=$1
DEMO=$2
work=$(mktemp -d /tmp/tavu-i10-command-XXXXXX)
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/run
mkdir -m 700 "$work/run" "$work/config"
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
    echo "FAIL: --command without a running copy succeeded"; exit 1
fi
grep -qx "TAVU is not running." "$work/alone.txt" || { echo "FAIL: $(cat "$work/alone.txt")"; exit 1; }

"$TAVU" --config-dir "$work/config" --simulate "$DEMO" > "$work/out.txt" 2>&1 &
pid=$!
for _ in $(seq 50); do
    "$TAVU" --command show 2>/dev/null && break
    sleep 0.2
done
"$TAVU" --command connect || { echo "FAIL: --command connect"; exit 1; }
# Busy (4 s), the redial after 1.5 s, the full dial (about 8 s), then some time online.
sleep 20
"$TAVU" --command hangup || { echo "FAIL: --command hangup"; exit 1; }
for _ in $(seq 20); do
    [ -s "$work/config/logfile.log" ] && break
    sleep 0.5
done
cat "$work/config/logfile.log" 2>/dev/null
grep -q "|Provider|" "$work/config/logfile.log" 2>/dev/null || { echo "FAIL: no record of Provider"; cat "$work/out.txt"; exit 1; }
"$TAVU" --command nonsense 2>/dev/null
[ $? -eq 2 ] || { echo "FAIL: unknown name"; exit 1; }
echo PASS

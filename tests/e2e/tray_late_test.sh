#!/usr/bin/env bash
# Under a bare X server: TAVU starts before any notification area and keeps its window on the
# task bar; a tray manager that comes later receives TAVU's icon; when it goes away again TAVU
# keeps its window reachable. A second copy says that TAVU is already running.
set -u
. "$(dirname "$0")/lib.sh"
tavu="$1"
fake_tray="$2"
for tool in Xvfb xdotool xwininfo; do
    command -v "$tool" >/dev/null || { echo "skipped: needs $tool"; exit 77; }
done
e2e_make_work tavu19-tray
xvfb="" tray=""
e2e_kill="tray pid xvfb"

# A display number of the server's own choosing.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.txt" 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS
printf '[Settings]\nShowSplash=0\nConfirmExit=0\nGalvWindowPosl=3000\nGalvWindowPost=2000\nGalvWindowPosr=3390\nGalvWindowPosb=2292\n' \
    >"$work/config/tavu.ini"

"$tavu" --config-dir "$work/config" >"$work/out.txt" 2>&1 &
pid=$!
wait_for_answer "$tavu"
main=""
for _ in $(seq 50); do
    main=$(xdotool search --onlyvisible --name '^TAVU$' 2>/dev/null | head -n 1)
    [ -n "$main" ] && break
    sleep 0.1
done
[ -n "$main" ] || fail "no main window"
mapped() { xwininfo -id "$main" | grep -q "IsViewable"; }
mapped || fail "the main window is not shown"
# Stored far off this 1024 x 768 screen: it opened on it.
read -r x y < <(xwininfo -id "$main" | awk '/Absolute upper-left X/{x=$NF} /Absolute upper-left Y/{y=$NF} END{print x, y}')
{ [ "$x" -ge 0 ] && [ "$x" -le 634 ] && [ "$y" -ge 0 ] && [ "$y" -le 476 ]; } ||
    fail "the window opened at $x,$y, off the screen"

"$tavu" --config-dir "$work/config" 2>"$work/second.txt"
[ $? = 1 ] || fail "the second copy did not end with status 1"
[ "$(cat "$work/second.txt")" = "TAVU is already running." ] || fail "second copy: $(cat "$work/second.txt")"

# Without a notification area, Hide cannot take the window away for good.
"$tavu" --command hide
sleep 0.5
mapped || fail "hidden without a tray to come back through"

# The panel comes: the icon asks to be docked within a few seconds.
"$fake_tray" >"$work/tray.txt" 2>&1 &
tray=$!
for _ in $(seq 80); do grep -q '^dock ' "$work/tray.txt" && break; sleep 0.1; done
grep -q '^ready$' "$work/tray.txt" || fail "the fake tray did not start: $(cat "$work/tray.txt")"
grep -q '^dock ' "$work/tray.txt" || fail "TAVU did not move into the notification area"

# Now Hide takes the window away; the icon stays to bring it back.
"$tavu" --command hide
sleep 0.5
mapped && fail "the window stayed after Hide with a tray"

# The panel goes: the window comes back to the task bar.
kill "$tray"; wait "$tray" 2>/dev/null; tray=""
for _ in $(seq 60); do mapped && break; sleep 0.1; done
mapped || fail "the window stayed hidden after the tray went away"
kill -0 "$pid" 2>/dev/null || fail "the program ended with the tray"
echo PASS

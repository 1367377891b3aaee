#!/usr/bin/env bash
# The command line behind one name: `tavu` loads no Qt library, `tavu-cli` no window library,
# and what `tavu` hands on reaches the program beside it, or fails with a clear message.
# Usage: program_libraries_test.sh TAVU TAVU_CLI TAVU_GUI
set -euo pipefail
tavu=$1
cli=$2
gui=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d /tmp/tavu-programs.XXXXXX)
trap 'rm -rf "$work"' EXIT

if ldd "$tavu" | grep -c 'libQt' >/dev/null; then
    ldd "$tavu" >&2
    fail "tavu loads Qt"
fi
if ldd "$cli" | grep -Ec 'libQt6(Gui|Widgets|Charts|Multimedia|OpenGL|Svg)' >/dev/null; then
    ldd "$cli" | grep libQt >&2
    fail "tavu-cli loads a window library"
fi
ldd "$gui" | grep -c 'libQt6Widgets' >/dev/null || fail "tavu-gui is not the window program"

# The help lists the subcommands that tavu-cli runs: it was handed on and came back.
"$tavu" --help | grep -q '^  tavu mail ' || fail "--help does not reach tavu-cli"
mkdir "$work/cfg"
"$tavu" summary --config-dir "$work/cfg" | grep -q '^Connections	0$' || fail "summary"
# The same usage error whichever program tells it.
set +e
"$tavu" bogus 2>"$work/err"
status=$?
set -e
[ "$status" -eq 2 ] || fail "a usage error ended with $status"
grep -qx "tavu: unexpected argument 'bogus' (see tavu --help)" "$work/err" || fail "usage error"

# Alone in a folder, tavu still prints, and says which program it misses.
cp "$tavu" "$work/tavu"
"$work/tavu" --version | grep -q '^TAVU ' || fail "--version alone"
"$work/tavu" usage --config-dir "$work/cfg" | grep -q '^start	seconds	' || fail "usage alone"
set +e
"$work/tavu" hangup 2>"$work/err"
status=$?
set -e
[ "$status" -eq 127 ] || fail "a missing tavu-cli ended with $status"
grep -q "^tavu: cannot start $work/tavu-cli: " "$work/err" || fail "no message for a missing tavu-cli"
echo ok

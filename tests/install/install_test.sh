#!/usr/bin/env bash
# Installs the build into a temporary prefix, moves the prefix elsewhere (away from the build
# tree) and checks that the installed program runs and finds its installed skins.
# Usage: install_test.sh BUILD_DIR
set -euo pipefail
build=$1
work=$(mktemp -d /tmp/tavu-install.XXXXXX)
trap 'kill "${pid:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/staged" >/dev/null
mv "$work/staged" "$work/prefix"
p=$work/prefix

fail() { echo "FAIL: $*" >&2; exit 1; }

for f in bin/tavu bin/tavu-cli bin/tavu-gui bin/tavu-upgrade-server share/man/man1/tavu-upgrade-server.1 share/tavu/Skins/Velvora/Skin.ini share/tavu/Skins/Velvora/MainUp.bmp \
         share/applications/tavu.desktop share/metainfo/tavu.metainfo.xml \
         share/man/man1/tavu.1 share/doc/tavu/help/index.htm share/doc/tavu/copyright lib/systemd/user/tavu-monitor.service; do
    [ -e "$p/$f" ] || fail "$f was not installed"
done
for size in 16 22 24 32 48 64 128 256; do
    [ -s "$p/share/icons/hicolor/${size}x${size}/apps/tavu.png" ] || fail "no ${size}px icon"
done

grep -q "^ExecStart=$work/staged/bin/tavu monitor\$" "$p/lib/systemd/user/tavu-monitor.service" ||
    fail "the service does not start the installed program"
"$p/bin/tavu" --version | grep -q '^TAVU Online Timer 1.1 BETA$' || fail "--version"
mkdir "$work/config"
"$p/bin/tavu" summary --config-dir "$work/config" | grep -q . || fail "summary printed nothing"

# The window program on the offscreen platform: it must find the installed skins. A program
# whose skin cannot be loaded says so on standard error.
start() {
    HOME=$work/home XDG_CONFIG_HOME=$work/home/config XDG_DATA_HOME=$work/home/data \
        XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen \
        "$p/bin/tavu" --config-dir "$work/config" 2>"$work/stderr" &
    pid=$!
    sleep 3
    # SIGTERM ends it; a program held by a message box is killed after two more seconds.
    kill -TERM "$pid" 2>/dev/null || true
    for _ in 1 2 3 4; do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.5
    done
    kill -KILL "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=
}
mkdir -p "$work/home" "$work/run"
chmod 700 "$work/run"
start
if grep -q "Can't change to this skin" "$work/stderr"; then
    cat "$work/stderr" >&2
    fail "the installed program did not find its skins"
fi
# The same check fails when the installed skins are gone, so it does look.
mv "$p/share/tavu/Skins" "$p/share/tavu/Skins.away"
start
grep -q "Can't change to this skin" "$work/stderr" || fail "a missing skin went unnoticed"

# The desktop entry and the AppStream data validate where the validators are installed.
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$p/share/applications/tavu.desktop" || fail "desktop entry"
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$p/share/metainfo/tavu.metainfo.xml" || fail "AppStream data"
fi
if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -l "$p/share/man/man1/tavu.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man page warnings: $warnings"
fi
echo "install test passed"

# The real NetworkManager for end-to-end scripts, in network and mount namespaces of the script's
# own with a private system bus. A script sources it after lib.sh and calls, first of all,
#   nm_enter_namespace "$@"
# which runs the script again inside the namespaces (or ends it as skipped, status 77, when it
# is not root or the kernel refuses the namespaces); then nm_start, then nm_add_tun for each
# connection. The daemon and the bus end with the script.

nm_pid=""
nm_bus_pid=""
e2e_kill="pid nm_pid nm_bus_pid"

nm_enter_namespace() {
    [ -n "${TAVU_NM_INSIDE:-}" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "skipped: needs root for network and mount namespaces"
        exit 77
    fi
    for p in NetworkManager nmcli dbus-daemon unshare; do
        command -v "$p" >/dev/null || { echo "skipped: $p is not installed"; exit 77; }
    done
    if ! unshare --net --mount --propagation private true 2>/dev/null; then
        echo "skipped: the kernel refuses network or mount namespaces"
        exit 77
    fi
    TAVU_NM_INSIDE=1 exec unshare --net --mount --propagation private bash "$0" "$@"
}

# Empty folders over the daemon's state and configuration, a system bus of our own and the
# daemon, which keeps only the connections this script adds. Its output goes to $work/nm.txt.
nm_start() {
    local d
    for d in /run/dbus /run/NetworkManager /var/lib/NetworkManager \
        /etc/NetworkManager/system-connections /etc/NetworkManager/conf.d; do
        mkdir -p "$d" && mount -t tmpfs tmpfs "$d" || fail "cannot mount a tmpfs over $d"
    done
    ip link set lo up
    cat >/etc/NetworkManager/conf.d/tavu-test.conf <<CONF
[main]
plugins=keyfile
no-auto-default=*
[logging]
level=INFO
CONF
    nm_bus_pid=$(dbus-daemon --system --fork --print-pid) || fail "the system bus did not start"
    nm_run_daemon
}

# Starts the daemon (again) and waits until it answers.
nm_run_daemon() {
    NetworkManager --debug >>"$work/nm.txt" 2>&1 &
    nm_pid=$!
    for _ in $(seq 100); do
        nmcli -t general status >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    fail "NetworkManager did not start: $(cat "$work/nm.txt")"
}

# A tun connection NAME on interface IFNAME, metered (yes) or not (no), with address ADDR,
# not connected automatically.
nm_add_tun() {
    local file="/etc/NetworkManager/system-connections/$1.nmconnection"
    cat >"$file" <<CONN
[connection]
id=$1
type=tun
interface-name=$2
metered=$([ "$3" = yes ] && echo 1 || echo 2)
autoconnect=false
[tun]
mode=1
[ipv4]
method=manual
address1=$4/32
[ipv6]
method=ignore
CONN
    chmod 600 "$file"
    nmcli connection reload || fail "NetworkManager did not read $file"
}

# Stops the daemon; it leaves its links as they are.
nm_stop() {
    kill "$nm_pid" && wait "$nm_pid"
    nm_pid=""
}

# The state of connection NAME: activated, activating, ... or empty when it is not active.
nm_state() {
    nmcli -g GENERAL.STATE connection show "$1" 2>/dev/null
}

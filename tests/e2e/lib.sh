# Steps the end-to-end scripts share. A script sources it right after `set -u`:
#   . "$(dirname "$0")/lib.sh"
# and keeps the program it started in $pid. On exit every process named (by its variable) in
# e2e_kill is sent e2e_signal and waited for, in that order, then the network namespace and the
# work folder go. A script adds output of its own to a failure with a function e2e_on_fail.

pid=""
ns=""
work=""
e2e_kill="pid"
e2e_signal=TERM

e2e_cleanup() {
    local name p
    for name in $e2e_kill; do
        p=${!name:-}
        [ -n "$p" ] && kill -"$e2e_signal" "$p" 2>/dev/null && wait "$p" 2>/dev/null
    done
    [ -n "$ns" ] && ip netns del "$ns" 2>/dev/null
    [ -n "$work" ] && rm -rf "$work"
}
trap e2e_cleanup EXIT

# Prints the reason and what the program wrote (out*.txt, err*.txt of the work folder), exits 1.
fail() {
    echo "FAIL: $*"
    if declare -F e2e_on_fail >/dev/null; then e2e_on_fail; fi
    echo "--- program output"
    cat "$work"/out*.txt "$work"/err*.txt 2>/dev/null
    exit 1
}

# Ends the script as skipped (status 77) unless it runs as root with the ip command; with the
# word "tun" it needs a writable /dev/net/tun as well.
e2e_need_root_and_ip() {
    if [ "${1:-}" = tun ]; then
        if [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null || [ ! -w /dev/net/tun ]; then
            echo "skipped: needs root, the ip command and /dev/net/tun"
            exit 77
        fi
    elif [ "$(id -u)" != 0 ] || ! command -v ip >/dev/null; then
        echo "skipped: needs root and the ip command to make a network namespace"
        exit 77
    fi
}

# A fresh folder /tmp/NAME-XXXXXX in $work with an empty config folder and a private runtime
# folder run, which becomes XDG_RUNTIME_DIR.
e2e_make_work() {
    work=$(mktemp -d "/tmp/$1-XXXXXX") || { echo "FAIL: cannot make a work folder"; exit 1; }
    mkdir "$work/config"
    mkdir -m 700 "$work/run"
    export XDG_RUNTIME_DIR="$work/run"
}

# A network namespace NAME-<pid of this script> in $ns, with its loopback up.
e2e_make_namespace() {
    ns="$1-$$"
    ip netns add "$ns" || fail "cannot make a network namespace"
    ip netns exec "$ns" ip link set lo up
}

# Runs a command in the namespace. Not for commands started with `&`: $! would then be the
# subshell around the function, and killing it would leave the command running.
in_ns() { ip netns exec "$ns" "$@"; }

# A point-to-point tun device DEV in the namespace, LOCAL to PEER, up.
e2e_add_tun() {
    in_ns ip tuntap add dev "$1" mode tun || fail "cannot make a tun device named $1"
    in_ns ip addr add "$2" peer "$3" dev "$1"
    in_ns ip link set "$1" up
}

# Waits up to 5 s for the program's single-instance socket, then fails with the message given
# unless the program ($pid) still runs.
wait_for_socket() {
    for _ in $(seq 50); do
        [ -n "$(find "$XDG_RUNTIME_DIR/tavu" -type s 2>/dev/null)" ] && break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || fail "${1:-the program did not start}"
}

# Waits up to 10 s until the running copy answers `PROGRAM --command show`, then fails unless the
# program ($pid) still runs.
wait_for_answer() {
    for _ in $(seq 100); do
        "$1" --command show 2>/dev/null && break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null || fail "the program did not start"
}

# Checks that the log LOG holds exactly one record (else fails, with MESSAGE where it is missing)
# and splits it into sd st ed et user device entry sent received rest.
e2e_one_record() {
    local lines
    [ -f "$1" ] || fail "${2:-no log was written}"
    lines=$(wc -l <"$1")
    [ "$lines" = 1 ] || fail "the log holds $lines lines, not 1"
    record=$(tr -d '\r' <"$1")
    echo "record: $record"
    IFS='|' read -r sd st ed et user device entry sent received rest <<<"$record"
}

#!/bin/sh
# Checks that two builds of the usage engine keep the very same sums: each counts the same logs
# on one thread in several time zones, with no usage.db at first, and the stores' kept days,
# hours and whole sums must be equal to the last bit.
# Usage: tests/bench/compare_kept_sums.sh OLD_tavu_first_count NEW_tavu_first_count INI LOG...
set -eu
old=$1
new=$2
ini=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for log in "$@"; do
    for zone in UTC Europe/Helsinki Australia/Lord_Howe America/Sao_Paulo; do
        for build in old new; do
            mkdir -p "$work/$build"
            cp "$log" "$work/$build/logfile.log"
            rm -f "$work/$build"/usage.db*
            eval "bin=\$$build"
            TZ=$zone "$bin" "$ini" "$work/$build/logfile.log" 1 >"$work/$build.out"
            sqlite3 "$work/$build/usage.db" \
                "SELECT key, hex(substr(days, 1, length(days) - 8)),
                        hex(substr(hours, 1, length(hours) - 8)) FROM kept_days ORDER BY key;" >"$work/$build.days"
            # Each blob ends with its check sum, and the state with its version; the state names
            # the file (device, inode, time). The rest is the sums.
            sqlite3 "$work/$build/usage.db" \
                "SELECT CAST(substr(state, 1, length(state) - 8) AS TEXT) FROM kept_state" |
                grep -v -e '^file ' -e '^tavu kept sums' >"$work/$build.state" || true
        done
        for part in out days state; do
            if ! cmp -s "$work/old.$part" "$work/new.$part"; then
                echo "DIFFERENT $part: $log in $zone"
                status=1
            fi
        done
        echo "compared $log in $zone: $(wc -l <"$work/new.days") months"
    done
done
exit $status

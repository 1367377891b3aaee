#!/bin/bash
# Measures TAVU side by side with vnStat 2.10, each answering the same question about the same
# usage from its own database: ten years of three always-on LTE links (tools/usage_data.py), in
# TAVU's log and usage.db and in vnStat's vnstat.db. Prints a Markdown table of the medians, their
# ratio and the peak memory, and keeps it in WORKDIR/side-by-side.md.
#
# Usage: tools/side_by_side.sh [BUILD] [WORKDIR] [--records N] [--end YYYY-MM-DD] [--runs N]
#                              [--rest-seconds S] [--no-hyperfine]
#   BUILD           the build folder (./build); the program is BUILD/src/tavu
#   WORKDIR         where the data is made once and kept (BUILD/side-by-side)
#   --records N     log records (1,000,000)
#   --end DATE      the data's last day (2026-12-07); "now" is pinned just after it
#   --runs N        timed runs of each command (10), after one warm-up run
#   --rest-seconds  how long the monitor and vnstatd are watched at rest (120)
#   --no-hyperfine  time the runs here even when hyperfine is installed
#
# Public tools only: hyperfine when installed (else the runs are timed here), GNU time for the
# peak memory, strace for the system calls. Every TAVU command runs with the generated settings
# folder (--config-dir) and HOME and XDG folders inside WORKDIR, never the user's own files. Not
# a test: nothing here passes or fails on a figure.
set -euo pipefail
export LC_ALL=C  # decimal points in the figures

die() {
    echo "side_by_side.sh: $*" >&2
    exit 1
}

build=""
work=""
records=1000000
end_day=2026-12-07
runs=10
rest=120
no_hyperfine=no
while [ $# -gt 0 ]; do
    case $1 in
        --records) records=${2:?--records needs a number}; shift 2 ;;
        --end) end_day=${2:?--end needs a date}; shift 2 ;;
        --runs) runs=${2:?--runs needs a number}; shift 2 ;;
        --rest-seconds) rest=${2:?--rest-seconds needs a number}; shift 2 ;;
        --no-hyperfine) no_hyperfine=yes; shift ;;
        -h | --help) sed -n '2,20p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
        -*) die "unknown option $1 (see --help)" ;;
        *)
            if [ -z "$build" ]; then build=$1
            elif [ -z "$work" ]; then work=$1
            else die "one build folder and one work folder only (see --help)"
            fi
            shift ;;
    esac
done
for n in "$records" "$runs" "$rest"; do
    [[ $n =~ ^[1-9][0-9]*$ ]] || die "not a whole number: $n"
done
build=${build:-build}
[ -d "$build" ] || die "no build folder $build"
build=$(cd "$build" && pwd)
work=${work:-$build/side-by-side}
mkdir -p "$work"
work=$(cd "$work" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
generator=$here/usage_data.py

# --- What is needed -------------------------------------------------------------------------
need() {
    command -v "$1" >/dev/null 2>&1 || die "$1 is missing: $2"
}
need python3 "apt-get install python3"
need vnstat "apt-get install vnstat (version 2.10 or later)"
need vnstatd "apt-get install vnstat"
need curl "apt-get install curl"
/usr/bin/time -f %M true >/dev/null 2>&1 ||
    die "GNU time (/usr/bin/time) is missing: apt-get install time"
[ -f "$generator" ] || die "$generator is missing"
tavu=""
for c in "$build/src/tavu" "$build/src/app/tavu" "$build/tavu"; do
    if [ -x "$c" ] && [ -f "$c" ]; then tavu=$c; break; fi
done
[ -n "$tavu" ] || tavu=$(find "$build" -maxdepth 4 -type f -name tavu -perm -u+x | head -n 1)
[ -n "$tavu" ] || die "no tavu program in $build (cmake --build $build --target tavu)"
if ! command -v strace >/dev/null 2>&1 && [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null
then
    echo "Installing strace to count system calls" >&2
    apt-get install -y -q strace >/dev/null 2>&1 || true
fi
have_hyperfine=no
[ "$no_hyperfine" = yes ] || ! command -v hyperfine >/dev/null 2>&1 || have_hyperfine=yes
have_strace=$(command -v strace >/dev/null 2>&1 && echo yes || echo no)

# --- The data, made once per size, end, time zone and generator ------------------------------
zone=${TZ:-localtime}
key="r$records-e$end_day-$(echo "$zone" | tr -c 'A-Za-z0-9_+-' _)"
key="$key-$(cksum <"$generator" | cut -d' ' -f1)"
data=$work/data-$key
if [ ! -f "$data/data.env" ]; then
    rm -rf "$data" "$data.part"
    python3 "$generator" "$data.part" --records "$records" --end "$end_day" \
        --vnstat "$data.part/vnstat" >&2
    # vnstat.conf names its folder: it moves with the rest.
    sed -i "s#^DatabaseDir .*#DatabaseDir \"$data/vnstat\"#" "$data.part/vnstat/vnstat.conf"
    mv "$data.part" "$data"
fi
# shellcheck disable=SC1091
. "$data/data.env"
vconf=$data/vnstat/vnstat.conf

# Nothing of the user's own: HOME, the XDG folders and the running copy's socket folder are
# inside the work folder. "now" is pinned just after the data's last connection through the
# program's own clock setting, so that the month's summary has its billing period.
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_CACHE_HOME=$work/home/.cache
export XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen TAVU_TEST_NOW=$DATA_NOW
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$HOME" "$XDG_RUNTIME_DIR"

# A settings folder of the data's own: the log, the tariff and the store, copied afresh.
fresh_config() {  # FOLDER [no-store]
    rm -rf "$1"
    mkdir -p "$1"
    cp "$data/logfile.log" "$data/tavu.ini" "$1/"
    [ "${2:-}" = no-store ] || cp -p "$data/usage.db" "$1/"
}
cfg=$work/cfg
fresh_config "$cfg"

# --- Timing -----------------------------------------------------------------------------------
q() {  # the arguments quoted for a shell (and for hyperfine), one line
    local out
    printf -v out '%q ' "$@"
    echo "${out% }"
}
since() { awk -v a="$1" -v b="$EPOCHREALTIME" 'BEGIN {print b - a}'; }

# Median wall time in seconds of RUNS runs of a command, after one warm-up run, and the mean
# processor time (user + system) of those runs when hyperfine measured them; with a prepare
# script, it runs (untimed) before each run. Output thrown away.
median_of() {  # NAME PREPARE_SCRIPT_OR_EMPTY COMMAND...
    local name=$1 prepare=$2
    shift 2
    if [ "$have_hyperfine" = yes ]; then
        local args=(--warmup 1 --runs "$runs" -N --style none --export-json "$work/$name.json")
        [ -z "$prepare" ] || args+=(--prepare "bash $(q "$prepare")")
        hyperfine "${args[@]}" "$(q "$@")" >/dev/null 2>"$work/$name.err" ||
            die "hyperfine failed on $*: $(cat "$work/$name.err")"
        python3 -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(r["median"], r["user"] + r["system"])' "$work/$name.json"
    else
        local i t0 times=()
        for ((i = 0; i <= runs; i++)); do
            [ -z "$prepare" ] || bash "$prepare"
            t0=$EPOCHREALTIME
            "$@" >/dev/null 2>&1 || true
            ((i == 0)) || times+=("$(since "$t0")")
        done
        printf '%s\n' "${times[@]}" | sort -g |
            awk '{a[NR] = $1} END {print (NR % 2) ? a[(NR + 1) / 2] : (a[NR / 2] + a[NR / 2 + 1]) / 2}'
    fi
}

# Peak resident memory of one run, in kB, and its processor time in seconds.
peak_of() {  # PREPARE_SCRIPT_OR_EMPTY COMMAND...
    local prepare=$1
    shift
    [ -z "$prepare" ] || bash "$prepare"
    /usr/bin/time -f '%M %U %S' -o "$work/peak" "$@" >/dev/null 2>&1 || true
    tail -n 1 "$work/peak" | awk '{print $1, $2 + $3}'
}

table=$work/side-by-side.rows
: >"$table"
legend=$work/side-by-side.legend
: >"$legend"
ms() { awk -v s="$1" 'BEGIN {printf "%.1f ms", s * 1000}'; }
mb() { awk -v k="$1" 'BEGIN {printf "%.1f MB", k / 1024}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {if (b > 0) printf "%.1f", a / b; else print "-"}'; }

# One row: TAVU's command against vnStat's (or another public tool's), each timed alone.
pair() {  # LABEL PREPARE -- TAVU COMMAND... -- OTHER COMMAND...
    local label=$1 prepare=$2
    shift 3
    local ours=() theirs=()
    while [ "$1" != -- ]; do ours+=("$1"); shift; done
    shift
    theirs=("$@")
    echo "measuring: $label" >&2
    local slug
    slug=$(echo "$label" | tr -c 'A-Za-z0-9' _ | cut -c1-40)
    local t_ours t_theirs p_ours p_theirs cpu_ours cpu_theirs cpu
    read -r t_ours cpu_ours <<<"$(median_of "$slug.tavu" "$prepare" "${ours[@]}")"
    read -r t_theirs cpu_theirs <<<"$(median_of "$slug.other" "" "${theirs[@]}")"
    read -r p_ours cpu <<<"$(peak_of "$prepare" "${ours[@]}")"
    cpu_ours=${cpu_ours:-$cpu}
    read -r p_theirs cpu <<<"$(peak_of "" "${theirs[@]}")"
    cpu_theirs=${cpu_theirs:-$cpu}
    echo "| $label | $(ms "$t_ours") | $(ms "$t_theirs") | $(ratio "$t_ours" "$t_theirs") |" \
        "$(ms "$cpu_ours") | $(ms "$cpu_theirs") | $(mb "$p_ours") | $(mb "$p_theirs") |" >>"$table"
    # The folders by short names.
    ours=("${ours[@]/#$tavu/tavu}")
    ours=("${ours[@]/#$data/DATA}")
    theirs=("${theirs[@]/#$data/DATA}")
    {
        echo "- $label:"
        echo "  \`${ours[*]/#$work/WORK}\` against \`${theirs[*]/#$work/WORK}\`"
    } >>"$legend"
}

# --- The questions, asked of both ---------------------------------------------------------------
by_month=(usage --config-dir "$cfg" --by month --from "$DATA_FIRST_DAY" --to "$DATA_LAST_DAY"
    --format json)
by_day=(usage --config-dir "$cfg" --by day --from "$DATA_LAST30_FROM" --to "$DATA_LAST_DAY"
    --format json)

# Both give the same bytes: the received and sent of TAVU's buckets and of vnStat's entries.
bytes_of() {  # tavu | vnstat TABLE, the JSON on standard input
    python3 -c 'import json, sys
d = json.load(sys.stdin)
if sys.argv[1] == "tavu":
    rows = [(b["downloaded"], b["uploaded"]) for b in d["buckets"]]
else:
    rows = [(e["rx"], e["tx"]) for i in d["interfaces"] for e in i["traffic"][sys.argv[2]]]
print(sum(r[0] for r in rows), sum(r[1] for r in rows))' "$@"
}
checks=$work/side-by-side.checks
: >"$checks"
check_same() {  # LABEL TAVU_BYTES VNSTAT_BYTES
    if [ "$2" = "$3" ]; then
        echo "Same bytes from both, $1: received, sent $2." | tee -a "$checks" >&2
    else
        echo "WARNING: $1: TAVU gives received, sent $2, vnStat $3." | tee -a "$checks" >&2
    fi
}
check_same "ten years by month" "$("$tavu" "${by_month[@]}" | bytes_of tavu)" \
    "$(vnstat --config "$vconf" --json m | bytes_of vnstat month)"
check_same "the last 30 days by day" "$("$tavu" "${by_day[@]}" | bytes_of tavu)" \
    "$(vnstat --config "$vconf" --json d 30 | bytes_of vnstat day)"

pair "Ten years by month" "" -- "$tavu" "${by_month[@]}" -- vnstat --config "$vconf" --json m
pair "Last 30 days by day" "" -- "$tavu" "${by_day[@]}" -- vnstat --config "$vconf" --json d 30
# The month's summary is of the billing period (from the 15th), vnStat's of the calendar month.
pair "Summary, this billing period" "" -- \
    "$tavu" summary --config-dir "$cfg" --filter month --format json -- \
    vnstat --config "$vconf" --json m 1
pair "Summary, all" "" -- \
    "$tavu" summary --config-dir "$cfg" --filter all --format json -- \
    vnstat --config "$vconf" --json m 1

# A new tail: the log grows in place, as the monitor appends to it. A folder of its own whose
# sums were counted once; before each run its log is cut back to that length (the same file)
# and its usage.db put back as it was, then 1,000 more records are appended and their usage
# stored as the monitor stores it.
tailed=$work/cfg-tail
snapshot=$work/cfg-tail-store
rm -rf "$tailed" "$snapshot"
cp -a "$cfg" "$tailed"
"$tavu" summary --config-dir "$tailed" --filter all --format json >/dev/null
mkdir -p "$snapshot"
cp -a "$tailed"/usage.db* "$snapshot"/
base_size=$(stat -c %s "$tailed/logfile.log")
cat >"$work/prepare-tail.sh" <<EOF
truncate -s $base_size $(q "$tailed/logfile.log")
rm -f $(q "$tailed")/usage.db*
cp -a $(q "$snapshot")/usage.db* $(q "$tailed")/
python3 $(q "$generator") $(q "$data") --append-tail $(q "$tailed")
EOF
pair "Summary, this billing period, $DATA_TAIL records appended" "$work/prepare-tail.sh" -- \
    "$tavu" summary --config-dir "$tailed" --filter month --format json -- \
    vnstat --config "$vconf" --json m 1
pair "Summary, all, $DATA_TAIL records appended" "$work/prepare-tail.sh" -- \
    "$tavu" summary --config-dir "$tailed" --filter all --format json -- \
    vnstat --config "$vconf" --json m 1

# The first count: a log without any usage.db beside it, a fresh copy each run, against
# counting its lines.
first=$work/cfg-first
cat >"$work/prepare-first.sh" <<EOF
rm -rf $(q "$first")
mkdir -p $(q "$first")
cp $(q "$data/logfile.log") $(q "$data/tavu.ini") $(q "$first")/
EOF
bash "$work/prepare-first.sh"
pair "First count, no usage.db (against wc -l)" "$work/prepare-first.sh" -- \
    "$tavu" summary --config-dir "$first" --filter all --format json -- \
    wc -l "$first/logfile.log"

# --- The monitor at rest ------------------------------------------------------------------------
# tavu monitor serving metrics and vnstatd, both with no connection up, run side by side on
# copies of the data. As root they run in a network namespace of their own, holding only lo and
# three idle veth links named wwan0..wwan2 for vnstatd to watch (TAVU counts none of them: a
# dial-up link is a point-to-point one); otherwise in this one, vnstatd then finding none of
# its interfaces.
#
# Start: the processor time (user + system, /proc/PID/stat) from the start of the process until
# it is ready: for TAVU when it answers its first scrape, which it does only after its start
# (settings, log, the first poll, the first count of the metrics over the whole log); for
# vnstatd when it prints "Monitoring", after it has read its database and the interfaces.
# At rest: the processor time of the next REST seconds, then the system calls of another REST
# seconds (strace attached to the running process, so that it slows neither the start nor the
# first window). Peak memory: VmHWM at the end.
rest_dir=$work/rest
rm -rf "$rest_dir"
mkdir -p "$rest_dir"
fresh_config "$rest_dir/cfg"
# Its sums counted once before, as on any machine that ran TAVU before: the start measured is
# the everyday one (the first count after an upgrade is measured above).
"$tavu" summary --config-dir "$rest_dir/cfg" --filter all --format json >/dev/null
cp -a "$data/vnstat" "$rest_dir/vnstat"
sed -i "s#^DatabaseDir .*#DatabaseDir \"$rest_dir/vnstat\"#" "$rest_dir/vnstat/vnstat.conf"

ns=()
ns_name=""
cleanup() {
    [ -z "${tavu_pid:-}" ] || kill "$tavu_pid" 2>/dev/null || true
    [ -z "${vn_pid:-}" ] || kill "$vn_pid" 2>/dev/null || true
    [ -z "$ns_name" ] || ip netns del "$ns_name" 2>/dev/null || true
}
trap cleanup EXIT
if [ "$(id -u)" = 0 ] && command -v ip >/dev/null 2>&1 &&
    ip netns add "tavu-sbs-$$" 2>/dev/null; then
    ns_name=tavu-sbs-$$
    ns=(ip netns exec "$ns_name")
    # shellcheck disable=SC2016 # expanded by the inner shell
    "${ns[@]}" sh -c 'ip link set lo up
        sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 || true
        for i in 0 1 2; do
            ip link add wwan$i type veth peer name wwan${i}p && ip link set wwan$i up &&
                ip link set wwan${i}p up || exit 1
        done' || die "could not make the network namespace's links"
    where="in a network namespace of their own with lo and three idle veth links wwan0..wwan2"
else
    where="in this network namespace (not root: no namespace of their own)"
fi

hz=$(getconf CLK_TCK)
cpu_ms() { awk -v hz="$hz" '{print ($14 + $15) * 1000 / hz}' "/proc/$1/stat"; }
# A processor time counted in clock ticks: under one tick is shown as such.
ticks() {
    awk -v t="$1" -v hz="$hz" 'BEGIN {if (t > 0) printf "%d ms", t; else printf "< %d ms", 1000 / hz}'
}
hwm_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$1/status"; }
port=$("${ns[@]}" python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])')

echo "measuring: the monitor's start and rest ($rest s each) $where" >&2
: >"$rest_dir/tavu.out"
: >"$rest_dir/vnstatd.out"
"${ns[@]}" "$tavu" monitor --config-dir "$rest_dir/cfg" --metrics "127.0.0.1:$port" \
    >"$rest_dir/tavu.out" 2>&1 &
tavu_pid=$!
t0=$EPOCHREALTIME
until "${ns[@]}" curl -sf -o /dev/null "http://127.0.0.1:$port/metrics"; do
    kill -0 "$tavu_pid" 2>/dev/null || die "tavu monitor ended: $(cat "$rest_dir/tavu.out")"
    sleep 0.02
done
tavu_start_cpu=$(cpu_ms "$tavu_pid")
tavu_ready=$(since "$t0")

"${ns[@]}" vnstatd -n --config "$rest_dir/vnstat/vnstat.conf" >"$rest_dir/vnstatd.out" 2>&1 &
vn_pid=$!
t0=$EPOCHREALTIME
until grep -q Monitoring "$rest_dir/vnstatd.out"; do
    kill -0 "$vn_pid" 2>/dev/null || die "vnstatd ended: $(cat "$rest_dir/vnstatd.out")"
    sleep 0.02
done
vn_start_cpu=$(cpu_ms "$vn_pid")
vn_ready=$(since "$t0")

a_tavu=$(cpu_ms "$tavu_pid")
a_vn=$(cpu_ms "$vn_pid")
sleep "$rest"
tavu_rest_cpu=$(awk -v a="$a_tavu" -v b="$(cpu_ms "$tavu_pid")" 'BEGIN {print b - a}')
vn_rest_cpu=$(awk -v a="$a_vn" -v b="$(cpu_ms "$vn_pid")" 'BEGIN {print b - a}')

calls() {  # the total of strace -c's summary
    awk '$NF == "total" {print ($4 ~ /^[0-9]+$/) ? $4 : $3}' "$1"
}
if [ "$have_strace" = yes ]; then
    strace -c -f -p "$tavu_pid" -o "$rest_dir/tavu.strace" 2>/dev/null &
    s1=$!
    strace -c -f -p "$vn_pid" -o "$rest_dir/vnstatd.strace" 2>/dev/null &
    s2=$!
    sleep "$rest"
    kill -INT "$s1" "$s2"
    wait "$s1" "$s2" || true
    tavu_calls=$(calls "$rest_dir/tavu.strace")
    vn_calls=$(calls "$rest_dir/vnstatd.strace")
else
    tavu_calls="n/a (no strace)"
    vn_calls="n/a"
fi
tavu_hwm=$(hwm_kb "$tavu_pid")
vn_hwm=$(hwm_kb "$vn_pid")
kill "$tavu_pid" "$vn_pid"
wait "$tavu_pid" "$vn_pid" 2>/dev/null || true
tavu_pid="" vn_pid=""

{
    echo "| Monitor start, processor time until ready | $(ticks "$tavu_start_cpu") |" \
        "$(ticks "$vn_start_cpu") | $(ratio "$tavu_start_cpu" "$vn_start_cpu") | | |" \
        "$(mb "$tavu_hwm") | $(mb "$vn_hwm") |"
    echo "| Monitor at rest, processor time in $rest s | $(ticks "$tavu_rest_cpu") |" \
        "$(ticks "$vn_rest_cpu") | $(ratio "$tavu_rest_cpu" "$vn_rest_cpu") | | | | |"
    echo "| Monitor at rest, system calls in $rest s | $tavu_calls | $vn_calls | $(ratio "${tavu_calls%% *}" "${vn_calls%% *}") | | | | |"
} >>"$table"
{
    echo "- Monitor: \`tavu monitor --config-dir WORK/rest/cfg --metrics 127.0.0.1:$port\`"
    echo "  against \`vnstatd -n --config WORK/rest/vnstat/vnstat.conf\`, $where;"
    echo "  ready after $(ms "$tavu_ready") and $(ms "$vn_ready") of wall time; processor time"
    echo "  (user + system) in clock ticks of $((1000 / hz)) ms; peak memory: VmHWM at the end"
} >>"$legend"

# --- The Summary window's first paint ---------------------------------------------------------
bench=$build/tests/tavu_report_bench
if [ -x "$bench" ]; then
    echo "measuring: the Summary window's first paint" >&2
    # The benchmark opens the window on a million-record log of its own: with its sums kept
    # (upgrade:0), and as after an upgrade, with no usage.db (upgrade:1, the first count behind
    # the window). first_paint_ms is the time to the window's first frame.
    "$bench" --benchmark_filter='^BM_OpenSummary' --benchmark_repetitions="$runs" \
        --benchmark_format=json >"$work/summary-window.json" 2>/dev/null
    for upgrade in 0 1; do
        paint=$(python3 -c 'import json,sys
b = [x for x in json.load(open(sys.argv[1]))["benchmarks"]
     if x.get("aggregate_name") == "median" and ("upgrade:" + sys.argv[2]) in x["name"]]
print(b[0]["real_time"], b[0]["cpu_time"], b[0].get("first_paint_ms", 0)) if b else print("0 0 0")' \
            "$work/summary-window.json" "$upgrade")
        read -r whole whole_cpu first <<<"$paint"
        what="Summary window, sums kept"
        [ "$upgrade" = 1 ] && what="Summary window, no usage.db (after an upgrade)"
        echo "| $what: first paint / figures painted | $(ms "$(python3 -c "print($first/1000)")") / $(ms "$(python3 -c "print($whole/1000)")") | (no window) | | $(ms "$(python3 -c "print($whole_cpu/1000)")") (main thread) | | | |" >>"$table"
    done
    echo "- Summary window: \`tests/tavu_report_bench --benchmark_filter=^BM_OpenSummary\` (its own log of 1,000,000 records)" >>"$legend"
else
    echo "(the Summary window is not measured: $bench is not built)" >>"$legend"
fi

# --- The table ----------------------------------------------------------------------------------
{
    echo "$("$tavu" --version 2>/dev/null | head -n 1) against $(vnstat --version | head -n 1 | cut -d' ' -f1,2);"
    echo "$DATA_RECORDS records ($DATA_ROWS usage rows) of three links from $DATA_FIRST_DAY" \
        "to $DATA_LAST_DAY, TZ=${TZ:-unset}, \"now\" $DATA_NOW;"
    echo "median of $runs runs$([ "$have_hyperfine" = yes ] && echo " (hyperfine)"), load average $(cut -d' ' -f1-3 /proc/loadavg) at the end, $(nproc) processors."
    echo
    cat "$checks"
    echo
    echo "| Question | TAVU median | vnStat median | TAVU / vnStat | TAVU processor | vnStat processor | TAVU peak memory | vnStat peak memory |"
    echo "|---|---|---|---|---|---|---|---|"
    cat "$table"
    echo
    echo "Commands (tavu is $tavu, WORK is $work, DATA is $data):"
    echo
    cat "$legend"
} | tee "$work/side-by-side.md"

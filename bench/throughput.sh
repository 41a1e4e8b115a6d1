#!/usr/bin/env bash
# Benchmark, not a test. Times sixjoin beside its two floors and its peers, in six columns:
#   spinning disk     a five-minute 16-bit 44.1 kHz pair on spinning_disk.py (8.5 ms a seek,
#                     150 MB/s, the kernel's 128 KiB reads), caches flushed before each run
#   card reader       the same pair on the same model with no seeks at 90 MB/s
#   16-bit, warm      a 30-minute 16-bit 44.1 kHz pair read from memory
#   float, warm       a 10-minute 32-bit float 48 kHz pair read from memory
#   16-bit, one core  the 16-bit pair again, every command pinned to one core (taskset -c 0)
#   float, one core   the float pair likewise
# The rows: the read floor (`cat front rear > /dev/null`: each input read once), the write floor
# (`dd if=/dev/zero of=out bs=1M`: as many bytes written as the join writes), sixjoin, a baseline
# build when given one, `cat front rear front > out` (the same bytes copied, no interleave), and,
# on the disks and warm, sox and ffmpeg doing the same join when installed. Runs rotate so that all see the same machine state;
# tables show medians, wall time and, for the warm pairs, CPU time (user + system). For the warm
# pairs it also prints medians of the ratios of each run to the runs beside it: sixjoin's CPU to
# the read floor's and the write floor's together (what any join must spend copying the inputs
# in and the output out) and to the copy's, and its wall time and CPU to the baseline's. Also reports sixjoin's peak memory on each
# pair and spkfix on a sparse multi-GiB file, --verify's flush and read-back on the 16-bit pair
# beside reading its output with the caches dropped, an interruption's time from the signal to the
# exit, and two destinations at once: a five-minute
# pair written to two writable spinning-disk mounts, each alone and both in one run, with and
# without --verify.
#   bench/throughput.sh [build-dir, build/default] [runs, 7] [seconds of the warm 16-bit pair, 1800] [baseline]
# The warm float pair lasts a third of the 16-bit pair.
# baseline: another sixjoin, such as the build before a change, timed beside this one.
# The disk columns need root, /dev/fuse, and Debian's fuse3 and python3-fuse; without any of them
# they are skipped, saying so. SPINNING_DISK names the model, ../shared/tools/spinning_disk.py
# beside the project unless set.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build/default}" && pwd)
runs=${2:-7}
seconds=${3:-1800}
baseline=${4:+$(realpath "$4")}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-bench.XXXXXX")
mount=$tmp/disk
trap 'mountpoint -q "$mount" 2>/dev/null && fusermount -u "$mount"; rm -rf "$tmp"' EXIT
cd "$tmp"

contenders=("read floor" "write floor" sixjoin)
[ -n "$baseline" ] && contenders+=(baseline)
contenders+=("cat front rear front")
ours=("${contenders[@]}")  # on one core, only these
command -v sox >/dev/null && contenders+=(sox)
command -v ffmpeg >/dev/null && contenders+=(ffmpeg)
all=("${contenders[@]}")
pin=()  # taskset -c 0 for the one-core columns

# Runs one contender on the pair in folder $1, writing to out.wav here.
run_one() {
    local in=$1 name=$2
    case $name in
        "read floor") "${pin[@]}" cat "$in/takeF.wav" "$in/takeR.wav" >/dev/null ;;
        "write floor") "${pin[@]}" dd if=/dev/zero of=out.wav bs=1M status=none \
            count=$((($(stat -c %s "$in/takeF.wav") * 3 + 1048575) / 1048576)) ;;
        sixjoin) "${pin[@]}" "$build/sixjoin" -o out.wav "$in/takeF.wav" >/dev/null ;;
        baseline) "${pin[@]}" "$baseline" -o out.wav "$in/takeF.wav" >/dev/null ;;
        "cat front rear front") "${pin[@]}" cat "$in/takeF.wav" "$in/takeR.wav" "$in/takeF.wav" >out.wav ;;
        sox) sox -M "$in/takeF.wav" "$in/takeR.wav" -c 6 out.wav remix 1 2 0 0 3 4 ;;
        ffmpeg) ffmpeg -nostdin -loglevel error -y -i "$in/takeF.wav" -i "$in/takeR.wav" -filter_complex \
            "[0:a][1:a]amerge=inputs=2,pan=5.1|c0=c0|c1=c1|c2=0*c0|c3=0*c0|c4=c2|c5=c3" -c:a "$codec" out.wav ;;
    esac
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# The median over runs of $1's k-th time divided by the sum of the k-th times of the others.
pairwise() {
    local lists=("$@")
    printf '%s\n' "${lists[@]}" | awk '{for (k = 1; k <= NF; k++) t[NR, k] = $k; n = NF}
        END {for (k = 1; k <= n; k++) {d = 0; for (r = 2; r <= NR; r++) d += t[r, k]; print t[1, k] / d}}' | median
}

# Times every contender on the pair in folder $2, $runs times in rotating order, so that no command
# always follows the one whose deleted output the kernel is still freeing. Before each run, $3 is
# called; after it, $4. wall[$1,name] and cpu[$1,name] gather milliseconds.
declare -A wall cpu
columns=()
time_all() {
    local column=$1 in=$2 before=$3 after=$4 count=${#contenders[@]} run i name
    columns+=("$column")
    for ((run = 0; run < runs; run++)); do
        for ((i = 0; i < count; i++)); do
            name=${contenders[$(((run + i) % count))]}
            "$before"
            local TIMEFORMAT='%R %U %S' took
            took=$({ time run_one "$in" "$name" 2>&1 >/dev/null; } 2>&1 | tail -n 1)
            read -r real user sys <<<"$took"
            wall[$column,$name]+="$(awk -v t="$real" 'BEGIN {printf "%d", t * 1000}') "
            cpu[$column,$name]+="$(awk -v u="$user" -v s="$sys" 'BEGIN {printf "%d", (u + s) * 1000}') "
            rm -f out.wav
            "$after"
        done
    done
}

# The table of medians of $1 (wall or cpu) over the given columns; each sixjoin cell also gives
# its ratio to the floor row named $2.
table() {
    local -n times=$1
    local floor=$2 column name
    shift 2
    printf '\n| %s |' "$1"
    shift
    for column in "$@"; do printf ' %s |' "$column"; done
    printf '\n|---|'
    for column in "$@"; do printf -- '---|'; done
    echo
    for name in "${contenders[@]}"; do
        printf '| %s |' "$name"
        for column in "$@"; do
            local t f
            if [ -z "${times[$column,$name]:-}" ]; then
                printf ' – |'
                continue
            fi
            t=$(median <<<"${times[$column,$name]}")
            f=$(median <<<"${times[$column,$floor]}")
            awk -v t="$t" -v f="$f" -v n="$name" -v floor="$floor" 'BEGIN {
                printf " %.2f s", t / 1000
                if (n == "sixjoin" || n == "baseline") printf " (%.2f ×)", t / f
                printf " |" }'
        done
        echo
    done
}

nothing() { :; }
settle() { sync; sleep 1; }
peak_memory() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f '%M' -o rss.txt "$build/sixjoin" -o out.wav "$1/takeF.wav" >/dev/null
        echo "$2: sixjoin peak resident memory $(cat rss.txt) KiB"
        rm -f out.wav
    fi
}

# From a spinning disk and a card reader, modelled by spinning_disk.py, with flushed caches: each
# run mounts the model afresh.
disk_model=${SPINNING_DISK:-$top/../shared/tools/spinning_disk.py}
missing=""
[ "$(id -u)" = 0 ] || missing+=" root"
[ -e /dev/fuse ] || missing+=" /dev/fuse"
command -v fusermount >/dev/null || missing+=" fuse3"
/usr/bin/python3 -c 'import fuse' 2>/dev/null || missing+=" python3-fuse"
[ -f "$disk_model" ] || missing+=" $disk_model"
disk_columns=()
if [ -n "$missing" ]; then
    echo "spinning-disk and card-reader columns skipped: they need$missing"
else
    mkdir -p pair "$mount"
    (cd pair && "$build/make_take" take 300 44100 16 >/dev/null)
    mount_disk() {
        /usr/bin/python3 "$disk_model" "$tmp/pair" "$mount" $disk_args >/dev/null 2>&1 &
        for _ in $(seq 100); do mountpoint -q "$mount" && break; sleep 0.1; done
        sync
        echo 3 >/proc/sys/vm/drop_caches
    }
    unmount_disk() { fusermount -u "$mount"; }
    codec=pcm_s16le
    echo "five-minute 16-bit 44.1 kHz pair of $(stat -c %s pair/takeF.wav) bytes a file, flushed caches;" \
        "$runs runs each"
    disk_args=""
    time_all "spinning disk" "$mount" mount_disk unmount_disk
    disk_args="--seek-ms 0 --mb-per-s 90"
    time_all "card reader" "$mount" mount_disk unmount_disk
    disk_columns=("spinning disk" "card reader")
    # From the disk, the join's runs are read by the reader thread: its memory is the join's peak.
    disk_args=""
    mount_disk
    peak_memory "$mount" "five-minute 16-bit pair on the spinning disk"
    unmount_disk

    # Two destinations, each a writable spinning disk with a head of its own, the pair read from
    # memory: each alone, then both in one run, which should take no longer than the slower alone.
    mkdir -p store1 store2 "$tmp/d1" "$tmp/d2"
    cat pair/takeF.wav pair/takeR.wav >/dev/null
    for disk in 1 2; do
        /usr/bin/python3 "$disk_model" "$tmp/store$disk" "$tmp/d$disk" --writable >/dev/null 2>&1 &
    done
    for _ in $(seq 100); do mountpoint -q "$tmp/d1" && mountpoint -q "$tmp/d2" && break; sleep 0.1; done
    declare -A two
    for ((run = 0; run < runs; run++)); do
        for verify in "" --verify; do
            for outputs in "-o $tmp/d1" "-o $tmp/d2" "-o $tmp/d1 -o $tmp/d2"; do
                start=$(date +%s%N)
                # shellcheck disable=SC2086
                "$build/sixjoin" -q $verify $outputs pair/takeF.wav
                two[$verify,$outputs]+="$((($(date +%s%N) - start) / 1000000)) "
                rm -f store1/* store2/*
            done
        done
    done
    two_rows=""
    for verify in "" --verify; do
        one=$(median <<<"${two[$verify,-o $tmp/d1]}") other=$(median <<<"${two[$verify,-o $tmp/d2]}")
        both=$(median <<<"${two[$verify,-o $tmp/d1 -o $tmp/d2]}")
        two_rows+=$(awk -v v="${verify:-join}" -v a="$one" -v b="$other" -v c="$both" 'BEGIN {
            slower = a > b ? a : b
            printf "| %s | %.2f s | %.2f s | %.2f s (%.2f × the slower) |", v, a / 1000, b / 1000, c / 1000, c / slower }')
        two_rows+=$'\n'
    done
    fusermount -u "$tmp/d1"
    fusermount -u "$tmp/d2"
    rm -rf pair store1 store2
fi

# From a warm cache: the pair is read from memory, as the second join of a take is; then again
# with every command on one core, where a second thread can only cost.
bench_warm() {
    local column=$1 length=$2
    codec=$3
    shift 3
    "$build/make_take" take "$length" "$@" >/dev/null
    echo "$column: two files of $(stat -c %s takeF.wav) bytes; $runs runs each"
    cat takeF.wav takeR.wav >/dev/null
    time_all "$column" . settle nothing
    peak_memory . "$column"
    contenders=("${ours[@]}") pin=(taskset -c 0)
    time_all "${column%, warm}, one core" . settle nothing
    contenders=("${all[@]}") pin=()
}
warm_columns=("16-bit, warm" "float, warm" "16-bit, one core" "float, one core")
bench_warm "16-bit, warm" "$seconds" pcm_s16le 44100 16

# --verify on the 16-bit pair, onto this machine's disk: the flush (from the bar's last mark to
# "done.", which follows the flush and the rename) and the read-back (from "verifying..." to
# "verified:"), beside the floor of reading the output once with the caches dropped
# (`cat out.wav > /dev/null`). Each line of the console, and each mark, is stamped as it comes.
stamp() {
    /usr/bin/python3 -u -c '
import sys, time
line = ""
while True:
    c = sys.stdin.read(1)
    if not c:
        break
    if c == ">":
        print(time.time_ns(), ">")
    elif c == "\n":
        print(time.time_ns(), line)
        line = ""
    else:
        line += c'
}
declare -a flushes readbacks rereads
for ((run = 0; run < runs; run++)); do
    sync
    "$build/sixjoin" --verify -o out.wav takeF.wav | stamp >stamps.txt
    done_at=$(awk '$2 == "done." {print $1}' stamps.txt)
    last_mark_at=$(awk '$2 == ">" && !done {at = $1} $2 == "done." {done = 1} END {print at}' stamps.txt)
    verifying_at=$(awk '$2 == "verifying..." {print $1}' stamps.txt)
    verified_at=$(awk '$2 == "verified:" {print $1}' stamps.txt)
    flushes+=($(((done_at - last_mark_at) / 1000000)))
    readbacks+=($(((verified_at - verifying_at) / 1000000)))
    sync
    echo 3 >/proc/sys/vm/drop_caches 2>/dev/null || true
    start=$(date +%s%N)
    cat out.wav >/dev/null
    rereads+=($((($(date +%s%N) - start) / 1000000)))
    rm -f out.wav
done
verify_rows=$(awk -v f="$(median <<<"${flushes[*]}")" -v r="$(median <<<"${readbacks[*]}")" \
    -v c="$(median <<<"${rereads[*]}")" 'BEGIN {
    printf "| read floor: `cat out.wav > /dev/null`, caches dropped | %.2f s |\n", c / 1000
    printf "| --verify: the flush | %.2f s |\n", f / 1000
    printf "| --verify: the read-back | %.2f s (%.2f × the read floor) |\n", r / 1000, r / c }')
if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o rss.txt "$build/sixjoin" --verify -o out.wav takeF.wav >/dev/null
    echo "16-bit, warm: sixjoin --verify peak resident memory $(cat rss.txt) KiB"
    /usr/bin/time -f '%M' -o rss.txt "$build/sixjoin" -u --verify -o out.wav takeF.wav >/dev/null
    echo "16-bit, warm: sixjoin -u --verify (passed over, compared) peak resident memory $(cat rss.txt) KiB"
    rm -f out.wav
fi
# An interruption's stop: from SIGTERM (a background job starts with SIGINT ignored), sent once
# the bar of a join of the 16-bit pair shows five marks, to the program's exit with its .part
# removed (the promise: within a second). Only runs that the signal stopped (status 130) count.
declare -a stops
for ((run = 0; run < runs; run++)); do
    "$build/sixjoin" -o out.wav takeF.wav >bar.txt &
    pid=$!
    until [ "$(tr -cd '>' <bar.txt | wc -c)" -ge 5 ] || ! kill -0 $pid 2>/dev/null; do sleep 0.005; done
    start=$(date +%s%N)
    kill -TERM $pid 2>/dev/null || true
    status=0
    wait $pid || status=$?
    ((status == 130)) && stops+=($((($(date +%s%N) - start) / 1000000)))
    rm -f out.wav
done
stop_row=$(printf '| SIGTERM five marks into a join, to its exit | %s ms (%d of %d runs stopped) |' \
    "$( ((${#stops[@]})) && median <<<"${stops[*]}" || echo –)" "${#stops[@]}" "$runs")
rm -f takeF.wav takeR.wav
bench_warm "float, warm" "$((seconds / 3))" pcm_f32le 48000 32 float

echo
echo "Medians of $runs runs; (×) is sixjoin's time over the floor named in the table's title."
if ((${#disk_columns[@]})); then table wall "read floor" "wall time, × the read floor" "${disk_columns[@]}"; fi
table wall "write floor" "wall time, × the write floor" "${warm_columns[@]}"
table cpu "write floor" "CPU time, × the write floor" "${warm_columns[@]}"
# dd's CPU from /dev/zero varies several times over between runs on some virtual machines; the
# copy `cat front rear front > out` is a steadier yardstick beside it.
printf '\n| medians of ratios of runs side by side | CPU ÷ (read + write floor CPU) | CPU ÷ cat front rear front |%s\n|---|---|---|%s\n' \
    "${baseline:+ wall ÷ baseline | CPU ÷ baseline |}" "${baseline:+---|---|}"
for column in "${warm_columns[@]}"; do
    printf '| %s | %.2f × |' "$column" "$(pairwise "${cpu[$column,sixjoin]}" "${cpu[$column,read floor]}" "${cpu[$column,write floor]}")"
    if [ -n "${cpu[$column,cat front rear front]:-}" ]; then
        printf ' %.2f × |' "$(pairwise "${cpu[$column,sixjoin]}" "${cpu[$column,cat front rear front]}")"
    else
        printf ' – |'
    fi
    if [ -n "$baseline" ]; then
        printf ' %.2f × | %.2f × |' "$(pairwise "${wall[$column,sixjoin]}" "${wall[$column,baseline]}")" \
            "$(pairwise "${cpu[$column,sixjoin]}" "${cpu[$column,baseline]}")"
    fi
    echo
done
if [ -n "$baseline" ]; then
    table wall "baseline" "wall time, × the baseline" "${columns[@]}"
fi
printf '\n| --verify, 16-bit output on this disk | median |\n|---|---|\n%s\n%s\n' "$verify_rows" "$stop_row"
if [ -n "${two_rows:-}" ]; then
    printf '\n| five-minute 16-bit pair onto writable spinning disks | -o d1 | -o d2 | -o d1 -o d2 |\n'
    printf '|---|---|---|---|\n%s' "$two_rows"
fi

# spkfix touches one byte wherever the file ends: time it on a sparse 4 GiB file.
"$build/make_take" small 0.01 48000 16 >/dev/null
"$build/sixjoin" smallF.wav >/dev/null
truncate -s 4G smallF-6ch.wav
start=$(date +%s%N)
"$build/spkfix" smallF-6ch.wav >/dev/null
end=$(date +%s%N)
echo
echo "spkfix on a sparse 4 GiB file: $(((end - start) / 1000)) us"

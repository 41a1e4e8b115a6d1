#!/usr/bin/env bash
# Benchmark, not a test: joins a one-hour 16-bit 44.1 kHz pair and a one-hour 32-bit float
# 48 kHz pair from a warm cache, and a five-minute 16-bit pair from a model of a spinning disk
# with flushed caches, and times sixjoin beside `cat front rear front > out` (the floor: the same
# number of bytes out) and, when installed, sox and ffmpeg doing the same job. Runs alternate so
# that all see the same machine state. Also reports sixjoin's peak memory and spkfix on a sparse
# multi-GiB file.
#   bench/throughput.sh [build-dir, build/default] [runs, 5] [seconds of audio, 3600] [baseline]
# baseline: another sixjoin, such as the build before a change, timed beside this one.
# The spinning-disk row needs root, /dev/fuse, and Debian's fuse3 and python3-fuse; without any
# of them it is skipped, saying so. SPINNING_DISK names the model, ../shared/tools/spinning_disk.py
# beside the project unless set.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-build/default}" && pwd)
runs=${2:-5}
seconds=${3:-3600}
baseline=${4:+$(realpath "$4")}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-bench.XXXXXX")
mount=$tmp/disk
trap 'mountpoint -q "$mount" 2>/dev/null && fusermount -u "$mount"; rm -rf "$tmp"' EXIT
cd "$tmp"

contenders=(sixjoin cat)
[ -n "$baseline" ] && contenders+=(baseline)
command -v sox >/dev/null && contenders+=(sox)
command -v ffmpeg >/dev/null && contenders+=(ffmpeg)

# Runs one contender on the pair in folder $1, writing to out.wav here.
run_one() {
    local in=$1 name=$2
    case $name in
        sixjoin) "$build/sixjoin" -o out.wav "$in/takeF.wav" >/dev/null ;;
        baseline) "$baseline" -o out.wav "$in/takeF.wav" >/dev/null ;;
        cat) cat "$in/takeF.wav" "$in/takeR.wav" "$in/takeF.wav" >out.wav ;;
        sox) sox -M "$in/takeF.wav" "$in/takeR.wav" -c 6 out.wav remix 1 2 0 0 3 4 ;;
        ffmpeg) ffmpeg -nostdin -loglevel error -y -i "$in/takeF.wav" -i "$in/takeR.wav" -filter_complex \
            "[0:a][1:a]amerge=inputs=2,pan=5.1|c0=c0|c1=c1|c2=0*c0|c3=0*c0|c4=c2|c5=c3" -c:a "$codec" out.wav ;;
    esac
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# Times every contender on the pair in folder $1, $runs times in rotating order, so that no
# command always follows the one whose deleted output the kernel is still freeing. Before each
# run, $2 is called with the contender's name; times[name] gathers milliseconds.
declare -A times
time_all() {
    local in=$1 before=$2 count=${#contenders[@]} run i name start end
    times=()
    for ((run = 0; run < runs; run++)); do
        for ((i = 0; i < count; i++)); do
            name=${contenders[$(((run + i) % count))]}
            "$before" "$name"
            start=$(date +%s%N)
            run_one "$in" "$name"
            end=$(date +%s%N)
            times[$name]+="$(((end - start) / 1000000)) "
            rm -f out.wav
            after_run "$name"
        done
    done
}

# Prints the table of medians; $1 is its title, $2 an extra column's heading, extra[name] its values.
declare -A extra
table() {
    local title=$1 heading=${2:-} name
    for name in "${contenders[@]}"; do echo "$name, ms: ${times[$name]}"; done
    local sixjoin_ms
    sixjoin_ms=$(median <<<"${times[sixjoin]}")
    printf '\n| %s | median wall time | sixjoin / it |%s\n|---|---|---|%s\n' "$title" \
        "${heading:+ $heading |}" "${heading:+---|}"
    for name in "${contenders[@]}"; do
        awk -v n="$name" -v t="$(median <<<"${times[$name]}")" -v s="$sixjoin_ms" -v x="${extra[$name]:-}" \
            -v h="$heading" 'BEGIN {printf "| %s | %.2f s | %.2f |%s\n", n, t / 1000, s / t, h == "" ? "" : " " x " |"}'
    done
    echo
}

# From a warm cache: the pair is read from memory, as the second join of a take is.
settle() { sync; sleep 1; }
after_run() { :; }
bench_warm() {
    local title=$1
    codec=$2
    shift 2
    "$build/make_take" take "$seconds" "$@"
    echo "$title: two files of $(stat -c %s takeF.wav) bytes; $runs runs each, medians"
    time_all . settle
    extra=()
    table "$title"
}

bench_warm "16-bit 44.1 kHz" pcm_s16le 44100 16
bench_warm "32-bit float 48 kHz" pcm_f32le 48000 32 float

# From a spinning disk, modelled by spinning_disk.py, with flushed caches: each run mounts the
# model afresh, and its log tells the seeks the run made.
disk_model=${SPINNING_DISK:-$top/../shared/tools/spinning_disk.py}
missing=""
[ "$(id -u)" = 0 ] || missing+=" root"
[ -e /dev/fuse ] || missing+=" /dev/fuse"
command -v fusermount >/dev/null || missing+=" fuse3"
/usr/bin/python3 -c 'import fuse' 2>/dev/null || missing+=" python3-fuse"
[ -f "$disk_model" ] || missing+=" $disk_model"
if [ -n "$missing" ]; then
    echo "spinning-disk row skipped: it needs$missing"
else
    mkdir -p pair "$mount"
    (cd pair && "$build/make_take" take 300 44100 16)
    mount_disk() {
        rm -f "$tmp/disk.log"
        /usr/bin/python3 "$disk_model" "$tmp/pair" "$mount" --log "$tmp/disk.log" >/dev/null 2>&1 &
        for _ in $(seq 100); do mountpoint -q "$mount" && break; sleep 0.1; done
        sync
        echo 3 >/proc/sys/vm/drop_caches
    }
    declare -A seeks
    after_run() {
        fusermount -u "$mount"
        for _ in $(seq 100); do [ -s "$tmp/disk.log" ] && break; sleep 0.1; done
        seeks[$1]+="$(awk '{print $4}' "$tmp/disk.log") "
    }
    codec=pcm_s16le
    echo "spinning disk (8.5 ms a seek, 150 MB/s, 128 KiB reads), five-minute 16-bit 44.1 kHz pair of" \
        "$(stat -c %s pair/takeF.wav) bytes a file, flushed caches; $runs runs each, medians"
    time_all "$mount" mount_disk
    extra=()
    for name in "${contenders[@]}"; do
        echo "$name, seeks: ${seeks[$name]}"
        extra[$name]=$(median <<<"${seeks[$name]}")
    done
    table "spinning disk, 16-bit 44.1 kHz, 5 min" "seeks"
    after_run() { :; }
    rm -rf pair
fi

# On the float pair, the last of the warm ones.
if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o rss.txt "$build/sixjoin" takeF.wav >/dev/null
    echo "sixjoin peak resident memory: $(cat rss.txt) KiB"
    rm -f takeF-6ch.wav
fi

# spkfix touches one byte wherever the file ends: time it on a sparse 4 GiB file.
"$build/make_take" small 0.01 48000 16
"$build/sixjoin" smallF.wav >/dev/null
truncate -s 4G smallF-6ch.wav
start=$(date +%s%N)
"$build/spkfix" smallF-6ch.wav >/dev/null
end=$(date +%s%N)
echo "spkfix on a sparse 4 GiB file: $(((end - start) / 1000)) us"

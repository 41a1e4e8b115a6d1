#!/usr/bin/env bash
# Benchmark, not a test: joins a one-hour 16-bit 44.1 kHz pair and a one-hour 32-bit float
# 48 kHz pair, and times sixjoin beside `cat front rear front > out` (the floor: the same number
# of bytes out) and, when installed, sox and ffmpeg doing the same job. Runs alternate so that
# all see the same machine state. Also reports sixjoin's peak memory and spkfix on a sparse
# multi-GiB file.
#   bench/throughput.sh [build-dir, build/default] [runs, 5] [seconds of audio, 3600]
set -euo pipefail
build=$(cd "${1:-build/default}" && pwd)
runs=${2:-5}
seconds=${3:-3600}
tmp=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-bench.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

contenders=(sixjoin cat)
command -v sox >/dev/null && contenders+=(sox)
command -v ffmpeg >/dev/null && contenders+=(ffmpeg)

run_one() {
    case $1 in
        sixjoin) "$build/sixjoin" takeF.wav >/dev/null ;;
        cat) cat takeF.wav takeR.wav takeF.wav >out.wav ;;
        sox) sox -M takeF.wav takeR.wav -c 6 out.wav remix 1 2 0 0 3 4 ;;
        ffmpeg) ffmpeg -nostdin -loglevel error -y -i takeF.wav -i takeR.wav -filter_complex \
            "[0:a][1:a]amerge=inputs=2,pan=5.1|c0=c0|c1=c1|c2=0*c0|c3=0*c0|c4=c2|c5=c3" -c:a "$codec" out.wav ;;
    esac
}

median() { tr ' ' '\n' | grep . | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

# One pair: make it, time every contender on it, print the table.
bench_pair() {
    local title=$1 codec=$2
    shift 2
    "$build/make_take" take "$seconds" "$@"
    echo "$title: two files of $(stat -c %s takeF.wav) bytes; $runs runs each, medians"
    # Each run starts from flushed, settled caches, and the order rotates between runs, so that no
    # command always follows the one whose deleted output the kernel is still freeing.
    declare -A times med
    local count=${#contenders[@]} run i name
    for ((run = 0; run < runs; run++)); do
        for ((i = 0; i < count; i++)); do
            name=${contenders[$(((run + i) % count))]}
            sync
            sleep 1
            start=$(date +%s%N)
            run_one "$name"
            end=$(date +%s%N)
            times[$name]+="$(((end - start) / 1000000)) "
            rm -f out.wav takeF-6ch.wav
        done
    done
    for name in "${contenders[@]}"; do
        med[$name]=$(median <<<"${times[$name]}")
        echo "$name, ms: ${times[$name]}"
    done
    printf '\n| %s | median wall time | sixjoin / it |\n|---|---|---|\n' "$title"
    for name in "${contenders[@]}"; do
        awk -v n="$name" -v t="${med[$name]}" -v s="${med[sixjoin]}" \
            'BEGIN {printf "| %s | %.2f s | %.2f |\n", n, t / 1000, s / t}'
    done
    echo
}

bench_pair "16-bit 44.1 kHz" pcm_s16le 44100 16
bench_pair "32-bit float 48 kHz" pcm_f32le 48000 32 float

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

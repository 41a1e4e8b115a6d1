#!/usr/bin/env bash
# Fuzzes sixjoin and spkfix with AFL++ (Debian's afl++), side by side, for a time budget each:
# sixjoin twice, once mutating the front file beside a fixed 16-bit rear and once mutating the
# rear beside a fixed 32-bit float front, and spkfix.
# Sanitizers slow every execution fourfold here, so the fuzzing runs on plain instrumented builds
# and every input it keeps (queue, crashes, hangs) is then replayed through the sanitizer build.
# The seed corpus comes from the project's own make_take and sixjoin. Not part of CI.
#   fuzz/run.sh [seconds per campaign, 600]
set -euo pipefail
seconds=${1:-600}
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/build/fuzz-run
rm -rf "$out"
campaigns=(front rear spkfix)
for campaign in "${campaigns[@]}"; do mkdir -p "$out/seeds/$campaign" "$out/work-$campaign"; done

# Plain build for the seeds, instrumented build for the fuzzing, sanitizer build for the replay.
cd "$top"
cmake --preset default >/dev/null
cmake --build --preset default --target make_take sixjoin >/dev/null
cmake --preset asan >/dev/null
cmake --build --preset asan --target sixjoin spkfix >/dev/null
cmake -S "$top" -B "$top/build/fuzz" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=afl-clang-fast++ >/dev/null
cmake --build "$top/build/fuzz" --target sixjoin spkfix >/dev/null

# Seeds: short stereo pairs of every width and kind, one with a padded odd chunk before "fmt ",
# one with a "fact" chunk, and the six-channel files sixjoin makes of them. All pairs hold 48
# frames, as the fixed inputs do.
cd "$out/seeds"
with_chunk_first() { head -c 12 "$1"; printf "$2"; tail -c +13 "$1"; }
for width in 8 16 24 32 32f 64f; do
    kind=int; [[ $width == *f ]] && kind=float
    "$top/build/default/make_take" "t$width" 0.001 48000 "${width%f}" "$kind"
    "$top/build/default/sixjoin" "t${width}F.wav" >/dev/null
    cp "t${width}F.wav" "front/stereo$width.wav"
    cp "t${width}F-6ch.wav" "spkfix/six$width.wav"
done
cp front/stereo16.wav front/stereo32f.wav rear/
with_chunk_first t16F.wav 'junk\003\000\000\000abc\000' >front/padded.wav
with_chunk_first t32fF.wav 'fact\004\000\000\000\060\000\000\000' >rear/fact.wav
with_chunk_first t16F-6ch.wav 'junk\003\000\000\000abc\000' >spkfix/padded.wav
# RF64 seeds and Broadcast Wave seeds with a time reference and history, where ffmpeg is at hand
# to write them.
if command -v ffmpeg >/dev/null; then
    rf64() { ffmpeg -nostdin -loglevel error -f lavfi -i sine=d=0.001:r=48000 -ac "$1" -c:a "$2" -rf64 always "$3"; }
    rf64 2 pcm_s16le front/rf64.wav
    rf64 2 pcm_f32le rear/rf64.wav
    rf64 6 pcm_s24le spkfix/rf64.wav
    bwf() { ffmpeg -nostdin -loglevel error -f lavfi -i sine=d=0.001:r=48000 -ac 2 -c:a "$1" -write_bext 1 \
        -metadata time_reference=172800000 -metadata coding_history=A=PCM,F=48000 "$2"; }
    bwf pcm_s16le front/bwf.wav
    bwf pcm_f32le rear/bwf.wav
fi
# The fixed partners: a 16-bit rear for the front campaign, a 32-bit float front for the rear one.
"$top/build/default/make_take" "$out/work-front/take" 0.001 48000 16
"$top/build/default/make_take" "$out/work-rear/take" 0.001 48000 32 float

# Three campaigns share the cores, so none is bound to one.
export AFL_SKIP_CPUFREQ=1 AFL_NO_UI=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1 AFL_NO_AFFINITY=1
cd "$out"
# The front campaign names the fuzzed front alone, so the rear is derived from its name.
afl-fuzz -i seeds/front -o findings-front -f work-front/takeF.wav -t 2000 -V "$seconds" \
    -- "$top/build/fuzz/sixjoin" work-front/takeF.wav >front.log 2>&1 &
afl-fuzz -i seeds/rear -o findings-rear -f work-rear/fuzzed.wav -t 2000 -V "$seconds" \
    -- "$top/build/fuzz/sixjoin" work-rear/takeF.wav work-rear/fuzzed.wav >rear.log 2>&1 &
afl-fuzz -i seeds/spkfix -o findings-spkfix -f work-spkfix/s.wav -t 2000 -V "$seconds" \
    -- "$top/build/fuzz/spkfix" work-spkfix/s.wav >spkfix.log 2>&1 &
wait

status=0
for campaign in "${campaigns[@]}"; do
    stats=findings-$campaign/default/fuzzer_stats
    if [ ! -f "$stats" ]; then
        echo "$campaign: no statistics; see $out/$campaign.log"
        status=1
        continue
    fi
    field() { awk -F' *: *' -v k="$1" '$1 == k {print $2}' "$stats"; }
    echo "$campaign: $(field execs_done) executions in $(field run_time) s, $(field corpus_count) paths," \
        "$(field saved_crashes) crashes, $(field saved_hangs) hangs"
    if [ "$(field saved_crashes)" != 0 ] || [ "$(field saved_hangs)" != 0 ]; then status=1; fi
done

# Replay: every kept input through the sanitizer build; any report on standard error, or a status
# the programs do not document, is a finding.
replay() {
    local campaign=$1 target=$2 program=$3 reports=0 count=0 input rc
    shift 3
    for input in findings-$campaign/default/{queue,crashes,hangs}/id:*; do
        [ -f "$input" ] || continue
        cp "$input" "work-$campaign/$target"
        rc=0
        (cd "work-$campaign" && timeout 10 "$top/build/asan/$program" "$@" >/dev/null 2>"$out/replay.err") || rc=$?
        count=$((count + 1))
        case $program:$rc in sixjoin:0 | sixjoin:25 | sixjoin:255 | spkfix:0 | spkfix:255) ;; *) rc=bad ;; esac
        if [ "$rc" = bad ] || [ -s "$out/replay.err" ]; then
            reports=$((reports + 1))
            cp "$input" "$out/replay-finding-$campaign-$reports"
        fi
    done
    echo "$campaign: $count inputs replayed under the sanitizers, $reports findings"
    [ "$reports" = 0 ]
}
replay front takeF.wav sixjoin takeF.wav || status=1
replay rear fuzzed.wav sixjoin takeF.wav fuzzed.wav || status=1
replay spkfix s.wav spkfix s.wav || status=1
echo "findings in $out/findings-*/default/{crashes,hangs} and $out/replay-finding-*"
exit $status

#!/usr/bin/env bash
# Fuzzes sixjoin and spkfix with AFL++ (Debian's afl++), side by side, for a time budget each.
# Sanitizers slow every execution fourfold here, so the fuzzing runs on plain instrumented builds
# and every input it keeps (queue, crashes, hangs) is then replayed through the sanitizer build.
# The seed corpus comes from the project's own make_take and sixjoin. Not part of CI.
#   fuzz/run.sh [seconds per program, 600]
set -euo pipefail
seconds=${1:-600}
top=$(cd "$(dirname "$0")/.." && pwd)
out=$top/build/fuzz-run
rm -rf "$out"
mkdir -p "$out"/seeds/sixjoin "$out"/seeds/spkfix "$out"/work-sixjoin "$out"/work-spkfix

# Plain build for the seeds, instrumented build for the fuzzing, sanitizer build for the replay.
cd "$top"
cmake --preset default >/dev/null
cmake --build --preset default --target make_take sixjoin >/dev/null
cmake --preset asan >/dev/null
cmake --build --preset asan --target sixjoin spkfix >/dev/null
cmake -S "$top" -B "$top/build/fuzz" -G Ninja -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=afl-clang-fast++ >/dev/null
cmake --build "$top/build/fuzz" --target sixjoin spkfix >/dev/null

# Seeds: short stereo pairs at 8, 16 and 24 bits, one with a padded odd chunk before "fmt ",
# and the six-channel files sixjoin makes of them. All pairs hold 48 frames, as the fixed rear does.
cd "$out/seeds"
for bits in 8 16 24; do
    "$top/build/default/make_take" "t$bits" 0.001 48000 "$bits"
    "$top/build/default/sixjoin" "t${bits}F.wav" >/dev/null
    cp "t${bits}F.wav" "sixjoin/stereo$bits.wav"
    cp "t${bits}F-6ch.wav" "spkfix/six$bits.wav"
done
{ head -c 12 t16F.wav; printf 'junk\003\000\000\000abc\000'; tail -c +13 t16F.wav; } >sixjoin/padded.wav
{ head -c 12 t16F-6ch.wav; printf 'junk\003\000\000\000abc\000'; tail -c +13 t16F-6ch.wav; } >spkfix/padded.wav
"$top/build/default/make_take" "$out/work-sixjoin/take" 0.001 48000 16

export AFL_SKIP_CPUFREQ=1 AFL_NO_UI=1 AFL_I_DONT_CARE_ABOUT_MISSING_CRASHES=1
cd "$out"
# sixjoin reads the fuzzed front file and derives the rear, a valid 16-bit take, from its name.
afl-fuzz -i seeds/sixjoin -o findings-sixjoin -f work-sixjoin/takeF.wav -b 0 -t 2000 -V "$seconds" \
    -- "$top/build/fuzz/sixjoin" work-sixjoin/takeF.wav >sixjoin.log 2>&1 &
afl-fuzz -i seeds/spkfix -o findings-spkfix -f work-spkfix/s.wav -b 1 -t 2000 -V "$seconds" \
    -- "$top/build/fuzz/spkfix" work-spkfix/s.wav >spkfix.log 2>&1 &
wait

status=0
for program in sixjoin spkfix; do
    stats=findings-$program/default/fuzzer_stats
    if [ ! -f "$stats" ]; then
        echo "$program: no statistics; see $out/$program.log"
        status=1
        continue
    fi
    field() { awk -F' *: *' -v k="$1" '$1 == k {print $2}' "$stats"; }
    echo "$program: $(field execs_done) executions in $(field run_time) s, $(field corpus_count) paths," \
        "$(field saved_crashes) crashes, $(field saved_hangs) hangs"
    if [ "$(field saved_crashes)" != 0 ] || [ "$(field saved_hangs)" != 0 ]; then status=1; fi
done

# Replay: every kept input through the sanitizer build; any report on standard error, or a status
# the programs do not document, is a finding.
replay() {
    local program=$1 work=$2 target=$3 reports=0 count=0 input rc
    for input in findings-$program/default/{queue,crashes,hangs}/id:*; do
        [ -f "$input" ] || continue
        cp "$input" "$work/$target"
        rc=0
        (cd "$work" && timeout 10 "$top/build/asan/$program" "$target" >/dev/null 2>"$out/replay.err") || rc=$?
        count=$((count + 1))
        case $program:$rc in sixjoin:0 | sixjoin:25 | sixjoin:255 | spkfix:0 | spkfix:255) ;; *) rc=bad ;; esac
        if [ "$rc" = bad ] || [ -s "$out/replay.err" ]; then
            reports=$((reports + 1))
            cp "$input" "$out/replay-finding-$program-$reports"
        fi
    done
    echo "$program: $count inputs replayed under the sanitizers, $reports findings"
    [ "$reports" = 0 ]
}
replay sixjoin work-sixjoin takeF.wav || status=1
replay spkfix work-spkfix s.wav || status=1
echo "findings in $out/findings-*/default/{crashes,hangs} and $out/replay-finding-*"
exit $status

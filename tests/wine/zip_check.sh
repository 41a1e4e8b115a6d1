#!/usr/bin/env bash
# Makes the Windows .zip of a cross build, lists what it holds, unpacks it and joins the demo
# pair with the sixjoin.exe found there, under Wine: each program must run alone.
#   tests/wine/zip_check.sh <windows-build-dir> <wine-runner> <make_take>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-zip.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log || { cat cpack.log; exit 1; }
zip=$(ls out/*.zip)

fail() { echo "$*"; exit 1; }
cmake -E tar tf "$zip" >zip.txt
for file in sixjoin.exe spkfix.exe sixjoin-manual.txt LICENSE.txt; do
    grep -q "/$file\$" zip.txt || fail "$zip lacks $file"
done
mkdir unpacked && (cd unpacked && cmake -E tar xf "../$zip")
folder=$(dirname "$(ls unpacked/*/sixjoin.exe)")
grep -q 'EXIT STATUS' "$folder/sixjoin-manual.txt" || fail "the text manual lacks its sections"
grep -q $'\r$' "$folder/sixjoin-manual.txt" || fail "the text manual lacks Windows line ends"
"$3" demo 0.5 48000 16
"$2" "$folder/sixjoin.exe" demoF.wav >join.log 2>&1 || { cat join.log; fail "the unpacked sixjoin.exe failed"; }
grep -q 'done\.' join.log || fail "the unpacked sixjoin.exe did not finish"
echo "package: $(basename "$zip") ($(wc -l <zip.txt) entries); the unpacked sixjoin.exe joined the demo pair"

#!/usr/bin/env bash
# Makes the Linux packages of a build, lists what they hold, unpacks the .deb into a temporary
# root and joins the demo pair with the sixjoin installed there.
#   tests/package_check.sh <build-dir>
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-packages.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
cpack --config "$build/CPackConfig.cmake" -B "$work/out" >cpack.log || { cat cpack.log; exit 1; }
deb=$(ls out/*.deb)
tgz=$(ls out/*.tar.gz)

fail() { echo "$*"; exit 1; }
dpkg-deb -c "$deb" | awk '{print $6}' >deb.txt
tar -tzf "$tgz" >tgz.txt
for file in usr/bin/sixjoin usr/bin/spkfix usr/share/man/man1/sixjoin.1.gz usr/share/man/man1/spkfix.1.gz \
    usr/share/doc/sixjoin/copyright; do
    grep -qx "./$file" deb.txt || fail "$deb lacks $file"
    grep -q "/${file#usr/}\$" tgz.txt || fail "$tgz lacks ${file#usr/}"
done
[ "$(dpkg-deb -f "$deb" Architecture)" = "$(dpkg --print-architecture)" ] || fail "wrong architecture"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "no computed dependencies: $(dpkg-deb -f "$deb" Depends)"
dpkg-deb -f "$deb" Description | grep -q "six-channel" || fail "no description"

dpkg-deb -x "$deb" root
readelf -S root/usr/bin/sixjoin | grep -q '\.debug_info' && fail "sixjoin is not stripped"
"$build/make_take" demo 0.5 48000 16
root/usr/bin/sixjoin demoF.wav >join.log || { cat join.log; fail "the installed sixjoin failed"; }
grep -qx 'done.' join.log || fail "the installed sixjoin did not finish"
echo "packages: $(basename "$deb") ($(wc -l <deb.txt) entries), $(basename "$tgz") ($(wc -l <tgz.txt) entries);" \
    "the installed sixjoin joined the demo pair"

#!/usr/bin/env bash
# The wait for Enter in a console window of the program's own. Started from a terminal, Wine
# gives a Windows program a console of its own, as Windows does for a double-click or a drop:
# the program must end with "press Enter to close this window" and wait for Enter. Started from
# cmd, whose console it shares, or with its input from a file, it must neither ask nor wait.
#   tests/wine/console_check.sh <wine-run> <program.exe> <its status without arguments>
set -euo pipefail
run=$1
program=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
usage_status=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-console.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
enter_after=4

# Each program runs without arguments: the usage line is what a double-click shows.
# Runs a command line in a terminal of its own that types Enter after $enter_after seconds; sets
# text to what the terminal showed (its escapes and blanks dropped), status and seconds.
in_terminal() {
    (sleep "$enter_after"; printf '\r'; sleep 1) |
        timeout 60 script -qfec "date +%s >started; $*; echo \$? >status; date +%s >ended" typescript >/dev/null || true
    text=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' typescript | tr -d ' \r')
    status=$(cat status)
    seconds=$(($(cat ended) - $(cat started)))
}
fail() { echo "$*"; echo "the terminal showed: $text"; exit 1; }
prompt=pressEntertoclosethiswindow

in_terminal "'$run' '$program'"
[ "$status" = "$usage_status" ] || fail "own console: status $status, not $usage_status"
grep -q "$prompt" <<<"$text" || fail "own console: no prompt"
[ "$seconds" -ge $((enter_after - 1)) ] || fail "own console: ended after $seconds s, before Enter"

windows_path=$("$run" winepath -w "$program" 2>/dev/null | tr -d '\r')
in_terminal "'$run' cmd /c '$windows_path'"
[ "$status" = "$usage_status" ] || fail "from cmd: status $status, not $usage_status"
! grep -q "$prompt" <<<"$text" || fail "from cmd: it asked for Enter"
[ "$seconds" -lt "$enter_after" ] || fail "from cmd: it waited $seconds s"

in_terminal "'$run' '$program' </dev/null"
[ "$status" = "$usage_status" ] || fail "input from a file: status $status, not $usage_status"
! grep -q "$prompt" <<<"$text" || fail "input from a file: it asked for Enter"
[ "$seconds" -lt "$enter_after" ] || fail "input from a file: it waited $seconds s"
echo "$(basename "$program"): waits in a console of its own; neither from cmd nor with its input from a file ($seconds s)"

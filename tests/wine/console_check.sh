#!/usr/bin/env bash
# The wait for Enter in a console window of the program's own. Started from a terminal, Wine
# gives a Windows program a console of its own, as Windows does for a double-click or a drop:
# the program, run without arguments, must show its usage, ask "press Enter to close this window"
# and wait for Enter. Started from cmd, whose console it shares, or with its input from a file,
# it must neither ask nor wait.
#   tests/wine/console_check.sh <wine-run> <program.exe> <its status without arguments>
set -euo pipefail
run=$1 program=$(realpath "$2") usage_status=$3
work=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-console.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work"
enter_after=4

# Runs a command line in a terminal of its own that types Enter after $enter_after seconds, and
# checks its status, whether the terminal showed the prompt (escapes and blanks dropped), and
# whether it ended only after the Enter.
check() {
    local what=$1 waits=$2 command=$3 text status seconds
    (sleep "$enter_after"; printf '\r'; sleep 1) |
        timeout 60 script -qfec "date +%s >started; $command; echo \$? >status; date +%s >ended" typescript >/dev/null || true
    text=$(sed -e 's/\x1b\[[0-9;?]*[A-Za-z]//g' typescript | tr -d ' \r')
    status=$(cat status) seconds=$(($(cat ended) - $(cat started)))
    local asked=no waited=no
    grep -q pressEntertoclosethiswindow <<<"$text" && asked=yes
    [ "$seconds" -ge $((enter_after - 1)) ] && waited=yes
    if [ "$status" != "$usage_status" ] || [ "$asked" != "$waits" ] || [ "$waited" != "$waits" ]; then
        echo "$what: status $status, asked for Enter: $asked, waited: $waited ($seconds s); the terminal showed:"
        echo "$text"
        exit 1
    fi
}
check "a console of its own" yes "'$run' '$program'"
check "from cmd" no "'$run' cmd /c '$("$run" winepath -w "$program" 2>/dev/null | tr -d '\r')'"
check "input from a file" no "'$run' '$program' </dev/null"
echo "$(basename "$program") waits in a console of its own, and neither from cmd nor with its input from a file"

#!/usr/bin/env bash
# Installs into a temporary prefix and checks that both programs and both manual pages land,
# and that each page renders without a warning.
#   tests/install_check.sh <build-dir>
set -euo pipefail
prefix=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-install.XXXXXX")
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" >/dev/null
for program in sixjoin spkfix; do
    test -x "$prefix/bin/$program" || { echo "missing bin/$program"; exit 1; }
    page=$prefix/share/man/man1/$program.1.gz
    test -f "$page" || { echo "missing share/man/man1/$program.1.gz"; exit 1; }
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || { echo "$program.1: $warnings"; exit 1; }
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page")
    for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" EXAMPLES CAVEATS; do
        grep -q "^$section" <<<"$text" || { echo "$program.1 has no $section"; exit 1; }
    done
done
echo "installed and rendered: sixjoin, spkfix, sixjoin.1.gz, spkfix.1.gz"

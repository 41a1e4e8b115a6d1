#!/usr/bin/env bash
# Installs a build into a temporary prefix and checks that both programs and both manual pages
# land, and that each page renders without a warning.
#   tests/install_check.sh <build-dir>
#   tests/install_check.sh --after-demo <source-dir>
# The second form copies the source tree afresh and runs the demo workflow alone, as a newcomer
# does first, then the README's next steps: the install, checked the same way, and cpack.
set -euo pipefail
work=$(mktemp -d "${TMPDIR:-/tmp}/sixjoin-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

if [ "$1" = --after-demo ]; then
    source=$(cd "$2" && pwd)
    mkdir "$work/tree"
    if git -C "$source" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git -C "$source" ls-files -z --cached --others --exclude-standard | (cd "$source" && xargs -0 cp --parents -t "$work/tree")
    else
        tar -C "$source" --exclude=./build -cf - . | tar -C "$work/tree" -xf -
    fi
    cd "$work/tree"
    cmake --workflow --preset demo >demo.log 2>&1 || { cat demo.log; exit 1; }
    build=$work/tree/build/default
    cpack --preset default >cpack.log 2>&1 || { cat cpack.log; echo "cpack failed after the demo alone"; exit 1; }
    ls build/default/sixjoin_*.deb >/dev/null || { echo "no .deb after the demo alone"; exit 1; }
else
    build=$1
fi

cmake --install "$build" --prefix "$prefix" >/dev/null
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
echo "installed and rendered: sixjoin, spkfix, sixjoin.1.gz, spkfix.1.gz${2:+, after the demo alone, and packed}"

#!/usr/bin/env bash
# A manual page renders without a single groff warning and names every
# option that the program's help lists, so a new option cannot go unnoticed.
#   man_page_test.sh PAGE.1.gz PROGRAM [ARGS...]   (ARGS: how to ask for help)
set -uo pipefail
page=$1
shift
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

warnings=$(zcat "$page" | groff -ww -man -Tutf8 2>&1 >/dev/null)
[[ -z $warnings ]] || fail "groff warns on $page: $warnings"
man -l "$page" >/dev/null 2>&1 || fail "man -l $page failed"

# The page's text with its escapes undone: \- is a hyphen, \fB..\fR a font.
text=$(zcat "$page" | sed -e 's/\\-/-/g' -e 's/\\f[BIRP]//g')
# Options are the names at the start of help lines that begin with a dash.
options=$("$@" | grep -E '^ +-' | sed -E 's/^ +//; s/  .*//' | grep -oE -- '(^|[ ,])--?[A-Za-z0-9][-A-Za-z0-9]*' |
  tr -d ' ,' | sort -u)
[[ -n $options ]] || fail "'$*' lists no options"
for option in $options; do
  grep -qE -- "(^|[^-[:alnum:]])$option([^-[:alnum:]]|$)" <<<"$text" || fail "$page does not mention $option"
done
[[ $failures -eq 0 ]] && echo "$(basename "$page"): $(wc -w <<<"$options") options, no warnings"
exit $((failures > 0))

#!/usr/bin/env bash
# Writes a bash completion from its template, taking the option lists from
# the program's own help so that they cannot drift from it:
#   @OPTIONS ARGS@         every option that `PROGRAM ARGS` lists
#   @VALUED ARGS@          those that take a value, as a case pattern (a|b)
#   @CHOICES OPTION ARGS@  the values that OPTION's help offers as {a,b}
# Usage: fill-completion.sh TEMPLATE OUTPUT PROGRAM
set -euo pipefail
template=$1 output=$2 program=$3

# One line per option that `PROGRAM ARGS...` lists: its names, then a tab and
# what follows them up to the description (empty for a flag). Option lines
# start with blanks and a dash, as CLI11 and Qt write them.
option_lines() {
  "$program" "$@" </dev/null | awk '
    /^ +-/ {
      entry = $0
      sub(/^ +/, "", entry)
      gap = index(entry, "  ")
      if (gap) entry = substr(entry, 1, gap - 1)
      names = ""
      while (match(entry, /^-[-A-Za-z0-9]+/)) {
        names = names (names == "" ? "" : " ") substr(entry, 1, RLENGTH)
        entry = substr(entry, RLENGTH + 1)
        sub(/^, ?/, "", entry)
      }
      sub(/^ +/, "", entry)
      print names "\t" entry
    }'
}

fill() {  # KIND ARGS...
  local kind=$1 option="" line names rest
  shift
  [[ $kind == CHOICES ]] && { option=$1; shift; }
  local -a found=()
  while IFS=$'\t' read -r names rest; do
    case $kind in
      OPTIONS) found+=($names) ;;
      VALUED) [[ -n $rest ]] && found+=($names) ;;
      CHOICES)
        if [[ " $names " == *" $option "* && $rest =~ \{([^}]*)\} ]]; then
          IFS=, read -ra found <<<"${BASH_REMATCH[1]}"
        fi
        ;;
    esac
  done < <(option_lines "$@")
  if [[ ${#found[@]} -eq 0 ]]; then
    echo "fill-completion.sh: '$program $*' lists nothing for @$kind $option@" >&2
    exit 1
  fi
  local IFS=' '
  [[ $kind == VALUED ]] && IFS='|'
  echo "${found[*]}"
}

trap 'rm -f "$output.tmp"' EXIT
placeholder='@(OPTIONS|VALUED|CHOICES) ([^@]*)@'
{
  while IFS= read -r line || [[ -n $line ]]; do
    while [[ $line =~ $placeholder ]]; do
      read -ra words <<<"${BASH_REMATCH[2]}"
      line=${line/"${BASH_REMATCH[0]}"/$(fill "${BASH_REMATCH[1]}" "${words[@]}")}
    done
    printf '%s\n' "$line"
  done <"$template"
} >"$output.tmp"
mv "$output.tmp" "$output"

#!/usr/bin/env bash
# The desktop entry and the metainfo pass their validators without a single
# remark, pedantic ones included. Exits 77 (skipped) only when the validator
# is not installed (scripts/setup-deps.sh --tests installs both).
#   metadata_test.sh desktop FILE.desktop | metainfo FILE.metainfo.xml
set -uo pipefail
kind=$1 file=$2
case $kind in
  desktop) command=(desktop-file-validate "$file") ;;
  metainfo) command=(appstreamcli validate --no-net --pedantic --no-color "$file") ;;
  *) echo "metadata_test.sh: unknown kind $kind" >&2; exit 2 ;;
esac
command -v "${command[0]}" >/dev/null || { echo "SKIP: ${command[0]} is not installed"; exit 77; }
output=$("${command[@]}" 2>&1)
status=$?
# appstreamcli ends a clean run with this line alone; desktop-file-validate says nothing.
remarks=$(grep -vxF '✔ Validation was successful.' <<<"$output" | grep -v '^$')
if [[ $status -ne 0 || -n $remarks ]]; then
  echo "FAIL: ${command[*]} gave $status:"
  echo "$output"
  exit 1
fi
echo "$(basename "$file"): valid, no remarks"

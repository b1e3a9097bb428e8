#!/usr/bin/env bash
# The window program's command line without a window: --help and --version,
# and every other option --help lists, print and succeed, an unknown option
# is a usage error, and without a display it says so in one line and exits 1.
set -uo pipefail
program=$1
failures=0
expect() {  # STATUS PATTERN -- COMMAND...
  local want=$1 pattern=$2
  shift 3
  local output status
  output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$@" 2>&1)
  status=$?
  if [[ $status -ne $want || ! $output =~ $pattern ]]; then
    echo "FAIL: $* gave $status: $output"
    failures=$((failures + 1))
  fi
}
expect 0 "Usage: reelmill \[options\] \[GIF...\]" -- "$program" --help
expect 0 "^reelmill [0-9]+\.[0-9]+\.[0-9]+$" -- "$program" --version
expect 2 "Unknown option 'bogus'" -- "$program" --bogus
# Every option that --help lists is answered without a window.
for option in $("$program" --help | grep -oE -- '--[a-z][-a-z]*'); do
  expect 0 "^(Usage: reelmill|reelmill [0-9])" -- "$program" "$option"
done
expect 2 "Unknown option 'help-all'" -- "$program" --help-all
expect 1 "^reelmill: there is no display to show the window on" -- "$program" some.gif
[[ $failures -eq 0 ]] && echo "command line: all passed"
exit $((failures > 0))

#!/usr/bin/env bash
# Starts the end-to-end test under a virtual X server with its own session
# bus, as a desktop session would run the program. Exits 77 (skipped) only
# when no X server can be started here.
set -uo pipefail
program=$1 script=$2
for tool in xvfb-run Xvfb dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb
log=$(mktemp)
trap 'rm -f "$log"' EXIT
# A display number of our own, and another try when a server that was just
# shutting down took the number first.
for attempt in 1 2 3; do
  xvfb-run -a -n $((100 + RANDOM % 800)) -s "-screen 0 1280x1024x24 -nolisten tcp" \
    dbus-run-session -- /usr/bin/python3 "$script" "$program" 2> >(tee "$log" >&2)
  status=$?
  grep -q "could not connect to display" "$log" || break
done
if [[ $status -ne 0 ]] && grep -q "Xvfb failed to start" "$log"; then
  echo "SKIP: Xvfb cannot start on this machine"
  exit 77
fi
exit $status

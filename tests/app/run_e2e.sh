#!/usr/bin/env bash
# Starts the end-to-end test under a virtual X server with its own session
# bus, as a desktop session would run the program. Exits 77 (skipped) only
# when no X server can be started here.
set -uo pipefail
program=$1 script=$2
for tool in xvfb-run Xvfb dbus-run-session; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
if ! xvfb-run -a -s "-screen 0 1280x1024x24" true 2>/dev/null; then
  echo "SKIP: Xvfb cannot start on this machine"
  exit 77
fi
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=0
exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- /usr/bin/python3 "$script" "$program"

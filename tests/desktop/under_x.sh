#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test on a display of its own with a window manager, as a desktop
# has them: Xvfb at 1280x800 and openbox. under_x.sh PROGRAM [ARGUMENT...]
set -u
for tool in Xvfb openbox wmctrl; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "under_x.sh: $tool is missing (tools/setup.sh installs it)" >&2
    exit 1
  fi
done
folder=$(mktemp -d)
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$folder/display" 2>"$folder/xvfb.log" &
xvfb=$!
wm=
finish() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$folder"
}
trap finish EXIT
# Bounded waits: the display's number, then a window manager that answers.
tries=0
while [ ! -s "$folder/display" ] && [ $tries -lt 100 ]; do sleep 0.1; tries=$((tries + 1)); done
if [ ! -s "$folder/display" ]; then
  echo "under_x.sh: Xvfb did not start: $(cat "$folder/xvfb.log")" >&2
  exit 1
fi
DISPLAY=:$(head -n 1 "$folder/display")
export DISPLAY
HOME=$folder openbox --sm-disable >"$folder/openbox.log" 2>&1 &
wm=$!
tries=0
until wmctrl -m >/dev/null 2>&1 || [ $tries -ge 100 ]; do sleep 0.1; tries=$((tries + 1)); done
if ! wmctrl -m >/dev/null 2>&1; then
  echo "under_x.sh: openbox did not start: $(cat "$folder/openbox.log")" >&2
  exit 1
fi
"$@"
status=$?
exit $status

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Sets up, builds and runs Cradlecom. With a microphone and a display it
# starts as a user would, on the microphone with the user's own settings.
# Without either (or with --demo) it shows the main job at once: the
# demonstration of tools/demo.sh listens to the bundled recording of a
# nursery and writes the call it would place to the terminal, with settings
# of its own in a temporary folder. Other options go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
demo=false
if [ "${1:-}" = --demo ]; then
  demo=true
  shift
fi
tools/setup.sh
cmake --preset default >/dev/null
# All that `cmake --install build` installs, so that it can follow.
cmake --build --preset default -j "$(nproc)" --target cradlecom cradlecom-replay dist_files
program=build/src/app/cradlecom
if ! arecord -l 2>/dev/null | grep -q '^card'; then
  echo "run.sh: no microphone found: the demonstration on data/nursery.flac" >&2
  demo=true
elif [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display, so nobody could press Start: the demonstration instead" >&2
  demo=true
fi
if $demo; then
  exec tools/demo.sh "$program" "$@"
fi
exec "$program" "$@"

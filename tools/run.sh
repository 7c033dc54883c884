#!/usr/bin/env bash
# Sets up, builds and runs Cradlecom: on the microphone when there is one,
# else on the bundled recording of a nursery; calls go through ModemManager
# when a modem is found, else they are written to standard output.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target cradlecom
args=()
if ! arecord -l 2>/dev/null | grep -q '^card'; then
  echo "run.sh: no microphone found; listening to data/nursery.flac instead" >&2
  args+=(--input data/nursery.flac --loop)
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run.sh: no display; running offscreen (stop with Ctrl+C)" >&2
  args+=(-platform offscreen)
fi
exec build/src/app/cradlecom "${args[@]}" "$@"

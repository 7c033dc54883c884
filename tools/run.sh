#!/usr/bin/env bash
# Sets up, builds and runs Cradlecom's main job on the bundled recording.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target cradlecom-replay
build/tools/replay/cradlecom-replay data/nursery.flac "$@"

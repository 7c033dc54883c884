#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The demonstration: PROGRAM listens to the bundled recording of a nursery,
# over and over, with monitoring started at once and a made-up number, and
# writes each call it would place to the terminal; nothing is ever dialled.
# Its settings and event log live in a temporary folder that goes when it
# ends: the user's own are never read or touched.
#   tools/demo.sh PROGRAM [OPTION...]    (tools/run.sh calls it)
set -euo pipefail
program=$1
shift
recording="$(cd "$(dirname "$0")/.." && pwd)/data/nursery.flac"
demo=$(mktemp -d "${TMPDIR:-/tmp}/cradlecom-demo.XXXXXX")
trap 'rm -rf "$demo"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
export XDG_CONFIG_HOME="$demo/config" XDG_STATE_HOME="$demo/state"
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  # Qt would make a folder of its own in /tmp and leave it there.
  mkdir -m 700 "$demo/runtime"
  export XDG_RUNTIME_DIR="$demo/runtime"
fi
"$program" --set "PhoneNumber=0170 0000000" --set Language=1 >/dev/null 2>&1
args=(--start --phone log --input "$recording" --loop)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  args+=(-platform offscreen)
fi
cat >&2 <<TEXT
demo: listening to data/nursery.flac (quiet, then crying, over and over) with
demo: monitoring on; each call to the made-up number 0170 0000000 is only
demo: written below, never dialled. Your own settings are not touched.
demo: Stop with Ctrl+C.
TEXT
"$program" "${args[@]}" "$@"

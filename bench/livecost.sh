#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The live cost: CPU time of the running program while it listens to a
# recording offscreen, against a plain Qt Widgets program that only runs a
# 100 ms timer, side by side on this machine, in several rounds. Prints each
# round per thread and the median of the rounds as a share of one core, and
# the ratio. Target: at most 1.5 times the floor and at most 0.5 % of one
# core. See bench/livecost.py for what is read and how.
#
#   bench/livecost.sh [BUILD_DIR]        (default: build)
#
# LIVECOST_RUNS (default 3) rounds of LIVECOST_SECONDS (default 60) each,
# after LIVECOST_WARMUP (default 5) seconds left to start-up. CRADLECOM and
# FLOOR name other programs to measure; OTHER names another build of the
# program to run beside them (for example the one before a change).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
program="${CRADLECOM:-$build/src/app/cradlecom}"
floor="${FLOOR:-$build/bench/cradlecom-floor}"
for file in "$program" "$floor"; do
  if [ ! -x "$file" ]; then
    echo "livecost: $file is missing; build it first:" >&2
    echo "  cmake --build --preset default --target cradlecom cradlecom-floor" >&2
    exit 1
  fi
done
exec python3 "$here/bench/livecost.py" "$program" "$floor" "$here/data/nursery.flac" ${OTHER:+"$OTHER"}

#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Replays the four marked nights (and each again in a loud house) through the
# whole program with the default settings, with calibration on the first
# minute (as cradlecom-replay --calibrate 60), and with calibration and the
# cry check (--set CryCheck=1), its settings stored and its sound heard as
# the program's own, and prints per night and
# in total: cries answered, delay from a cry's start to its call (median and
# 90th percentile), false calls per hour and by household type. The night
# kept aside while the constants were chosen is summed apart ("ASIDE").
# Each night is replayed four times, the blocks shifted by a quarter of a
# block each time (PHASES=1: once, as the recording starts). The nights are
# read where they lie and never copied.
#
#   bench/detection.sh [NIGHTS-DIR]
#
# Default NIGHTS-DIR: $NIGHTS, else ../shared/nights beside the project.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
nights="${1:-${NIGHTS:-$root/../shared/nights}}"
if [ ! -f "$nights/tune_00_cnear_hnear.flac" ]; then
  echo "bench/detection.sh: no marked nights in $nights" >&2
  exit 2
fi
[ -d build ] || cmake --preset default >/dev/null
cmake --build --preset default -j2 --target cradlecom-detection >/dev/null
exec "$root/build/bench/cradlecom-detection" --nights "$nights" --aside tune_03_cfar_hfar \
  --phases "${PHASES:-4}"

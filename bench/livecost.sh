#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The live cost: CPU time of the running program while it listens to a
# recording offscreen, against a plain Qt Widgets program that only runs a
# 100 ms timer, one after the other on this machine. Prints both as a share
# of one core and their ratio. Target: at most 1.5 times the floor and at
# most 0.5 % of one core.
#
#   bench/livecost.sh [BUILD_DIR]        (default: build)
#
# LIVECOST_SECONDS (default 60) is the measured span, LIVECOST_WARMUP
# (default 5) the seconds left to start-up first. CRADLECOM and FLOOR name
# other programs to measure (for example an older build).
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$here/build}"
seconds="${LIVECOST_SECONDS:-60}"
warmup="${LIVECOST_WARMUP:-5}"
program="${CRADLECOM:-$build/src/app/cradlecom}"
floor="${FLOOR:-$build/bench/cradlecom-floor}"
recording="$here/data/nursery.flac"
for file in "$program" "$floor"; do
  if [ ! -x "$file" ]; then
    echo "livecost: $file is missing; build it first:" >&2
    echo "  cmake --build --preset default --target cradlecom cradlecom-floor" >&2
    exit 1
  fi
done

home="$(mktemp -d)"
pid=""
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  rm -rf "$home"
}
trap cleanup EXIT
mkdir -p "$home/config/cradlecom" "$home/state" "$home/runtime" "$home/tmp"
chmod 700 "$home/runtime"
# Not a first start: no language dialog in the way.
printf '[Software\\Veltrano\\CradleCom\\Settings]\nFirstUse = sz:1\n' \
  >"$home/config/cradlecom/registry"
export XDG_CONFIG_HOME="$home/config" XDG_STATE_HOME="$home/state" \
  XDG_RUNTIME_DIR="$home/runtime" TMPDIR="$home/tmp" QT_QPA_PLATFORM=offscreen

ticks_per_second="$(getconf CLK_TCK)"

# CPU ticks (user + system) of a process so far.
cpu_ticks() {
  local fields
  fields="$(sed 's/^.*) //' "/proc/$1/stat")"
  set -- $fields
  echo $((${12} + ${13}))
}

# Runs a command, leaves it `warmup` seconds, then prints its CPU share of
# one core over `seconds` in hundredths of a percent.
measure() {
  "$@" >/dev/null 2>&1 &
  pid=$!
  sleep "$warmup"
  if ! kill -0 "$pid" 2>/dev/null; then
    echo "livecost: $1 ended during start-up" >&2
    exit 1
  fi
  local before after
  before="$(cpu_ticks "$pid")"
  sleep "$seconds"
  after="$(cpu_ticks "$pid")"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  pid=""
  echo $(((after - before) * 10000 * 100 / ticks_per_second / (seconds * 100)))
}

args=(--input "$recording" --phone log)
if "$program" --help 2>/dev/null | grep -q -- '--loop'; then
  args+=(--loop)
fi
program_share="$(measure "$program" "${args[@]}")"
floor_share="$(measure "$floor")"
percent() { printf '%d.%02d %%' $(($1 / 100)) $(($1 % 100)); }
echo "cradlecom: $(percent "$program_share") of one core over $seconds s"
echo "floor:     $(percent "$floor_share") of one core over $seconds s"
if [ "$floor_share" -gt 0 ]; then
  echo "ratio:     $(awk -v a="$program_share" -v b="$floor_share" 'BEGIN { printf "%.2f", a / b }')"
else
  echo "ratio:     (the floor used no measurable time)"
fi

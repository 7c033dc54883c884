#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Soaks the program for 7 simulated days on each of 8 seeds, one after the
# other, and prints each seed's wall-clock time, the simulated days per
# wall-clock minute and the faults injected. The target: a 7-day soak in at
# most 10 minutes. Exits 1 when a seed breaks an invariant (the line that
# replays it is printed).
#
#   bench/soak.sh [SOAK-BINARY]
#
# Environment: DAYS (default 7), SEEDS (default "1 2 3 4 5 6 7 8").
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

soak="${1:-}"
if [ -z "$soak" ]; then
  [ -d build ] || cmake --preset default >/dev/null
  cmake --build --preset default -j2 --target cradlecom-soak >/dev/null
  soak="$root/build/tools/soak/cradlecom-soak"
fi
days="${DAYS:-7}"
seeds="${SEEDS:-1 2 3 4 5 6 7 8}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT

failed=0
for seed in $seeds; do
  if ! "$soak" --days "$days" --seed "$seed" >"$out/$seed.txt" 2>"$out/$seed.err"; then
    failed=1
    cat "$out/$seed.err" >&2
  fi
  sed -n 's/^time: wall \([0-9.]*\) s.*/\1/p' "$out/$seed.txt" >"$out/$seed.wall"
  printf 'seed %-3s %s\n' "$seed" "$(sed -n 's/^time: //p' "$out/$seed.txt")"
done

python3 - "$out" "$days" $seeds <<'EOF'
import re, sys
out, days, seeds = sys.argv[1], float(sys.argv[2]), sys.argv[3:]
walls, injected, runs = [], {}, {"starts": 0, "calls": 0}
for seed in seeds:
    text = open(f"{out}/{seed}.txt").read()
    walls.append(float(re.search(r"^time: wall ([0-9.]+) s", text, re.M).group(1)))
    runs["starts"] += int(re.search(r"(\d+) program starts", text).group(1))
    runs["calls"] += int(re.search(r"(\d+) calls", text).group(1))
    section = text.split("injected:", 1)[1]
    for name, count in re.findall(r"^  (.+?)\s+(\d+)$", section, re.M):
        injected[name] = injected.get(name, 0) + int(count)
total = sum(walls)
print(f"seeds   {len(seeds)} x {days:g} simulated days in {total:.1f} s wall clock: "
      f"{len(seeds) * days / (total / 60):.1f} simulated days per wall-clock minute")
print(f"slowest {max(walls):.1f} s for {days:g} days (target: 600 s for 7 days)")
print(f"runs    {runs['starts']} program starts, {runs['calls']} calls")
print(f"faults injected, {sum(injected.values())} in all:")
for name, count in injected.items():
    print(f"  {name:26s} {count}")
EOF
exit "$failed"

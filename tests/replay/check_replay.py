#!/usr/bin/env python3
"""Replays the bundled nursery recording (quiet 0-7 s, crying 7-20.5 s,
quiet 20.5-27.5 s, crying 27.5-41.5 s) and checks when the program calls."""
import csv
import os
import re
import subprocess
import sys

tool, recording, workdir = sys.argv[1:4]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def replay(*args):
    trace = os.path.join(workdir, "trace.csv")
    result = subprocess.run([tool, recording, "--trace", trace, *args],
                            capture_output=True, text=True, timeout=120)
    with open(trace, newline="") as f:
        rows = list(csv.DictReader(f))
    calls = [float(t) for t in re.findall(r"call at ([0-9.]+) s", result.stdout)]
    return result, rows, calls


# No pause between calls: the first cry fills the meter to 0.5 after 25 loud
# ticks. A call clears the level, so the restart ten seconds later finds the
# room as it is: quiet after 20.5 s, so the next call comes only from the
# second cry, and none about the quiet.
result, rows, calls = replay("--set", "PhoneNumber=+49 170 1234567", "--set", "PhoneDelay=0")
check(result.returncode == 0, f"exit code {result.returncode}: {result.stderr}")
check(len(rows) == 415 - 1, f"{len(rows)} trace rows")
check(calls == [10.1, 31.6], f"calls at {calls}")
check("to +49 170 1234567" in result.stdout, "number in the summary")
for row_index, row in enumerate(rows):
    tick = int(row["tick"])
    check(tick == row_index + 1, f"tick {tick} in row {row_index}")
    check(abs(float(row["seconds"]) - tick / 10) < 1e-9, f"seconds of tick {tick}")
    meter = float(row["cryMeter"])
    check(0.0 <= meter <= 1.0, f"meter {meter} at tick {tick}")
# The meter is cleared by each call, and callsMade counts them.
for call in calls:
    row = rows[round(call * 10) - 1]
    check(float(row["cryMeter"]) == 0.0, f"meter after the call at {call}")
previous = [r for r in rows if float(r["seconds"]) < calls[0]]
check(all(int(r["callsMade"]) == 0 for r in previous), "no call before the first")
check(float(previous[-1]["cryMeter"]) >= 0.5 - 0.02 - 1e-9, "meter one tick before the first call")
check(int(rows[-1]["callsMade"]) == 2, "callsMade at the end")
# From the call's tick to the restart ten seconds later the level is 0; the
# restarted capture's first buffer measures the cry again.
check(all(float(r["level"]) == 0.0 for r in rows[100:201]), "level 0 while capture is down")
check(any(float(r["level"]) > 0.5 for r in rows[201:205]), "level measured after the restart")

# The default pause of one minute allows one call in 41.5 s; the limit of
# calls per run stops them too.
result, rows, calls = replay("--set", "PhoneNumber=0301234")
check(calls == [10.1], f"default pause: calls at {calls}")
check(int(rows[-1]["delaySeconds"]) > 0, "delay running at the end")
result, rows, calls = replay("--set", "PhoneNumber=0301234", "--set", "PhoneDelay=0",
                             "--set", "PhoneMaxCalls=1")
check(calls == [10.1], f"limit 1: calls at {calls}")

# Start pressed later: the meter starts from 0 at the press.
result, rows, calls = replay("--set", "PhoneNumber=0301234", "--start", "30")
check(len(calls) == 1 and calls[0] > 32.5, f"start at 30 s: calls at {calls}")
check(all(r["monitoring"] == "0" for r in rows[:299]), "monitoring off before the press")

# Without a number Start is refused, and the tool says so.
result, rows, calls = replay()
check(result.returncode == 3, f"refused start exit code {result.returncode}")
check("refused" in result.stderr, "refusal reported")
check(calls == [] and all(r["monitoring"] == "0" for r in rows), "nothing after a refusal")

for failure in failures:
    print("FAILED:", failure)
print(f"{'1 passed, 0 failed' if not failures else '0 passed, 1 failed'}")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Replays the bundled nursery recording (quiet 0-7 s, crying 7-20.5 s,
quiet 20.5-27.5 s, crying 27.5-41.5 s) and checks when the program calls."""
import atexit
import csv
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile

tool, recording, builddir = sys.argv[1:4]
# Everything this test writes goes to a folder of its own, removed at exit;
# Qt's runtime folder too.
workdir = tempfile.mkdtemp(dir=builddir)
atexit.register(shutil.rmtree, workdir, True)
os.environ["XDG_RUNTIME_DIR"] = workdir
os.environ["TMPDIR"] = workdir
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

# Without a number the run calls a made-up one, as the man page's example
# expects, and says so in one line; a number set empty is refused.
result, rows, calls = replay("--set", "PhoneDelay=0")
check(result.returncode == 0 and calls == [10.1, 31.6], f"no number: {result.returncode} {calls}")
check(result.stderr.count("\n") == 1 and "made-up number" in result.stderr,
      f"no number: {result.stderr!r}")
result, rows, calls = replay("--set", "PhoneNumber=")
check(result.returncode == 3, f"refused start exit code {result.returncode}")
check("refused" in result.stderr, "refusal reported")
check(calls == [] and all(r["monitoring"] == "0" for r in rows), "nothing after a refusal")

# The program's manners: --version, and a wrong option told in the program's
# words; the man page lists what --help lists.
version = subprocess.run([tool, "--version"], capture_output=True, text=True, timeout=60)
check(version.returncode == 0 and version.stdout.startswith("cradlecom-replay "),
      f"--version: {version.returncode} {version.stdout!r}")
wrong = subprocess.run([tool, recording, "--bogus"], capture_output=True, text=True, timeout=60)
check(wrong.returncode == 2 and wrong.stderr.splitlines() == [
    "cradlecom-replay: unknown option '--bogus'", "Usage: cradlecom-replay RECORDING [OPTION]...",
    "Try 'cradlecom-replay --help' for more information."], f"wrong option: {wrong.stderr!r}")
usage = subprocess.run([tool, "--help"], capture_output=True, text=True, timeout=60).stdout
page = open(os.path.join(os.path.dirname(__file__), "../../dist/man/cradlecom-replay.1.scd")).read()
helped = set(re.findall(r"(?<![\w-])--[a-z]+", usage))
paged = set(re.findall(r"\*(--[a-z]+)\*", page))
check(helped == paged and "--begin" in paged and "--csv" in paged,
      f"--help {sorted(helped)} against the man page {sorted(paged)}")

# A sweep: one row a combination, and each row's trace is that of a
# separate replay with the same settings, byte for byte.
cries = os.path.join(workdir, "cries.csv")
with open(cries, "w") as f:
    f.write("start,end\n7,20.5\n27.5,41.5\n")
rows_csv = os.path.join(workdir, "rows.csv")
sweep_trace = os.path.join(workdir, "sweep.csv")
result = subprocess.run([tool, recording, "--set", "PhoneNumber=0301234", "--set", "PhoneDelay=0",
                         "--sweep", "VolSensi=20:60:40", "--sweep", "CryThresh=40:90:50",
                         "--cries", cries, "--csv", rows_csv, "--trace", sweep_trace],
                        capture_output=True, text=True, timeout=120)
check(result.returncode == 0, f"sweep exit code {result.returncode}: {result.stderr}")
with open(rows_csv, newline="") as f:
    sweep_rows = list(csv.DictReader(f))
check([(r["VolSensi"], r["CryThresh"]) for r in sweep_rows]
      == [("20", "40"), ("20", "90"), ("60", "40"), ("60", "90")], "sweep combinations")
check("no false alarm" in result.stdout, f"sweep summary: {result.stdout}")
for index, row in enumerate(sweep_rows, start=1):
    single = subprocess.run([tool, recording, "--set", "PhoneNumber=0301234", "--set",
                             "PhoneDelay=0", "--set", f"VolSensi={row['VolSensi']}", "--set",
                             f"CryThresh={row['CryThresh']}", "--trace",
                             os.path.join(workdir, "single.csv"), "--cries", cries],
                            capture_output=True, text=True, timeout=120)
    times = re.findall(r"call at ([0-9.]+) s", single.stdout)
    check(row["callSeconds"].split() == times, f"row {index}: {row['callSeconds']} vs {times}")
    check(int(row["calls"]) == len(times), f"row {index}: call count")
    with open(os.path.join(workdir, "single.csv"), "rb") as a, \
         open(os.path.join(workdir, f"sweep-{index}.csv"), "rb") as b:
        check(a.read() == b.read(), f"row {index}: trace differs from a separate replay")
    score = re.search(r"cries: 2, answered: (\d+), false alarms: (\d+), mean delay: ([0-9.]+) s",
                      single.stdout)
    check(score is not None and score.groups() == (row["answered"], row["falseAlarms"],
                                                    row["meanDelaySeconds"]),
          f"row {index}: score {row} vs {single.stdout}")
check(sum(int(r["calls"]) for r in sweep_rows) > 0, "the sweep made calls")

# A bad --set says which value and why; texts come out as UTF-8.
for setting, reason in [("VolSensi=abc", "'abc' is not a whole number"),
                        ("VolThresh=150", "percentage from 0 to 100, not 150"),
                        ("Volume=3", "no setting is called 'Volume'"),
                        ("PhoneNumber=" + "1" * 30, "at most 24 characters"),
                        ("PhoneNumber=-4930123", "not a call number"),
                        ("Language=2", "0 (German) or 1 (English)"),
                        ("PhoneDelay=-1", "cannot be negative")]:
    bad = subprocess.run([tool, recording, "--set", setting], capture_output=True, text=True,
                         timeout=60)
    check(bad.returncode == 2 and setting in bad.stderr and reason in bad.stderr,
          f"bad setting {setting}: {bad.returncode} {bad.stderr}")
refused = subprocess.run([tool, recording, "--set", "PhoneNumber="], capture_output=True,
                         timeout=60)
check("gültige Telefonnummer".encode() in refused.stdout, f"UTF-8 message: {refused.stdout!r}")

# No regular file, no waiting: a FIFO without a writer as the recording or
# the cries, and cries without end, are refused with the reason.
fifo = os.path.join(workdir, "room.fifo")
os.mkfifo(fifo)
for arguments, named in (([fifo], fifo), ([recording, "--cries", fifo], fifo),
                         ([recording, "--cries", "/dev/zero"], "/dev/zero")):
    try:
        bad = subprocess.run([tool, *arguments], capture_output=True, text=True, timeout=10)
        check(bad.returncode == 1 and f"{named}: not a regular file" in bad.stderr,
              f"{arguments}: {bad.returncode} {bad.stderr!r}")
    except subprocess.TimeoutExpired:
        check(False, f"{arguments} did not end")

# The picture: a PNG of 1600 x 500.
picture = os.path.join(workdir, "night.png")
result = subprocess.run([tool, recording, "--set", "PhoneNumber=1", "--plot", picture,
                         "--begin", "23:59"], capture_output=True, text=True, timeout=120)
check(result.returncode == 0, f"plot exit code {result.returncode}: {result.stderr}")
with open(picture, "rb") as f:
    header = f.read(24)
check(header[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", header[16:24]) == (1600, 500),
      f"picture header {header!r}")

for failure in failures:
    print("FAILED:", failure)
print(f"{'1 passed, 0 failed' if not failures else '0 passed, 1 failed'}")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""CPU the program uses while it listens to a recording and after its end.

usage: cpu_recording.py PROGRAM RECORDING SECONDS_LONG [WINDOW] [extra options]

Runs PROGRAM offscreen on RECORDING (which lasts SECONDS_LONG seconds) with
calls only logged and fresh settings, and reads the process's user and
system time from /proc/PID/stat over WINDOW seconds (default 60): once from
the third second on, while the recording plays (when it is long enough),
and once from two seconds after its end."""
import os
import subprocess
import sys
import tempfile
import time

program, recording, length = sys.argv[1], sys.argv[2], float(sys.argv[3])
window = float(sys.argv[4]) if len(sys.argv) > 4 else 60.0
extra = sys.argv[5:]
ticks = os.sysconf("SC_CLK_TCK")


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime, stime


def measure(pid, start_at, begun):
    time.sleep(max(0.0, begun + start_at - time.monotonic()))
    first, at = cpu_seconds(pid), time.monotonic()
    time.sleep(window)
    return 100.0 * (cpu_seconds(pid) - first) / (time.monotonic() - at)


with tempfile.TemporaryDirectory() as folder:
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_RUNTIME_DIR=folder,
               CRADLECOM_SYSTEM_ROOT=folder,
               XDG_CONFIG_HOME=os.path.join(folder, "config"),
               XDG_STATE_HOME=os.path.join(folder, "state"), TMPDIR=folder)
    begun = time.monotonic()
    process = subprocess.Popen([program, "--input", recording, "--phone", "log"] + extra,
                               env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        if length >= window + 3.0:
            print(f"while playing: {measure(process.pid, 3.0, begun):.2f} % of one core")
        print(f"after the end: {measure(process.pid, length + 2.0, begun):.2f} % of one core")
    finally:
        process.terminate()
        process.wait(timeout=10)

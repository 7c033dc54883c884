#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The live cost: what the running program costs while it listens to a
recording offscreen, against a plain Qt Widgets program that only runs a
100 ms timer. Called by bench/livecost.sh, which names the programs.

usage: livecost.py PROGRAM FLOOR RECORDING [OTHER]

Both programs (and OTHER, another build of the program to compare with, when
given) run side by side, offscreen, each in a home of its own, for
RUNS rounds (LIVECOST_RUNS, default 3). Each round leaves them WARMUP seconds
(LIVECOST_WARMUP, default 5) for start-up, then measures SECONDS (LIVECOST_SECONDS,
default 60):

  stat       user + system time of the whole process from /proc/PID/stat
             (whole clock ticks, so coarse for a program this quiet)
  threads    run time in nanoseconds from /proc/PID/task/TID/schedstat,
             sampled every 0.1 s, so that threads that come and go (the
             capture thread is made anew at every restart) are counted
             too; main is the thread that runs the event loop, other the
             rest (the capture thread)
  wakeups    times each thread was put on a core (schedstat's third field)

and prints every round and the median of the rounds."""
import os
import statistics
import subprocess
import sys
import tempfile
import time

program, floor, recording = sys.argv[1], sys.argv[2], sys.argv[3]
other = sys.argv[4] if len(sys.argv) > 4 else None
runs = int(os.environ.get("LIVECOST_RUNS", "3"))
warmup = float(os.environ.get("LIVECOST_WARMUP", "5"))
seconds = float(os.environ.get("LIVECOST_SECONDS", "60"))
ticks = os.sysconf("SC_CLK_TCK")
period = 0.1


def read(path):
    try:
        with open(path) as file:
            return file.read()
    except OSError:
        return None  # the thread ended meanwhile


def stat_seconds(pid):
    fields = read(f"/proc/{pid}/stat").rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / ticks  # utime, stime


def kind(pid, tid):
    return "main" if tid == pid else "other"


class Threads:
    """Run time and wakeups per thread since the first sample."""

    def __init__(self, pid):
        self.pid = pid
        self.start = {}  # tid: (ns, runs) at the first sample; zero for threads born later
        self.last = {}  # tid: (ns, runs) at the latest sample
        self.kinds = {}
        self.sample(first=True)

    def sample(self, first=False):
        for tid in os.listdir(f"/proc/{self.pid}/task"):
            text = read(f"/proc/{self.pid}/task/{tid}/schedstat")
            if text is None:
                continue
            ns, _, runs_ = (int(value) for value in text.split())
            tid = int(tid)
            if tid not in self.start:
                self.start[tid] = (ns, runs_) if first else (0, 0)
                self.kinds[tid] = kind(self.pid, tid)
            self.last[tid] = (ns, runs_)

    def totals(self):
        result = {}
        for tid, (ns, runs_) in self.last.items():
            before = self.start[tid]
            cpu, count = result.get(self.kinds[tid], (0, 0))
            result[self.kinds[tid]] = (cpu + ns - before[0], count + runs_ - before[1])
        return result


def home(base):
    os.makedirs(f"{base}/config/cradlecom")
    for name in ("state", "runtime", "tmp"):
        os.makedirs(f"{base}/{name}", mode=0o700)
    # Not a first start: no language dialog in the way.
    with open(f"{base}/config/cradlecom/registry", "w") as store:
        store.write("[Software\\Veltrano\\CradleCom\\Settings]\nFirstUse = sz:1\n")
    return dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=f"{base}/config",
                XDG_STATE_HOME=f"{base}/state", XDG_RUNTIME_DIR=f"{base}/runtime",
                TMPDIR=f"{base}/tmp", CRADLECOM_SYSTEM_ROOT=base)


def loops(path):
    result = subprocess.run([path, "--help"], capture_output=True, text=True, check=False)
    return "--loop" in result.stdout


def share(cpu_seconds):
    return 100.0 * cpu_seconds / seconds


def listen(path, base):
    arguments = [path, "--input", recording, "--phone", "log"]
    if loops(path):
        arguments.append("--loop")
    return subprocess.Popen(arguments, env=home(base), stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def one_round(folder):
    processes = {"cradlecom": listen(program, f"{folder}/program")}
    if other is not None:
        processes["before"] = listen(other, f"{folder}/other")
    processes["floor"] = subprocess.Popen([floor], env=home(f"{folder}/floor"),
                                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        time.sleep(warmup)
        for name, process in processes.items():
            if process.poll() is not None:
                sys.exit(f"livecost: {name} ended during start-up")
        stat_before = {name: stat_seconds(p.pid) for name, p in processes.items()}
        threads = {name: Threads(p.pid) for name, p in processes.items()}
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            time.sleep(min(period, max(0.0, end - time.monotonic())))
            for sampler in threads.values():
                sampler.sample()
        result = {}
        for name, process in processes.items():
            totals = threads[name].totals()
            result[name] = {
                "stat": share(stat_seconds(process.pid) - stat_before[name]),
                "threads": {k: share(ns / 1e9) for k, (ns, _) in totals.items()},
                "wakeups": {k: count / seconds for k, (_, count) in totals.items()},
            }
            result[name]["total"] = sum(result[name]["threads"].values())
        return result
    finally:
        for process in processes.values():
            process.terminate()
            process.wait(timeout=10)


def describe(result):
    threads = "  ".join(f"{k} {v:.3f} %" for k, v in sorted(result["threads"].items()))
    wakeups = "  ".join(f"{k} {v:.1f}/s" for k, v in sorted(result["wakeups"].items()))
    return (f"{result['total']:.3f} % (stat {result['stat']:.2f} %)  [{threads}]"
            f"  wakeups [{wakeups}]")


rounds = []
with tempfile.TemporaryDirectory() as folder:
    for number in range(runs):
        result = one_round(f"{folder}/{number}")
        rounds.append(result)
        ratio = result["cradlecom"]["total"] / max(result["floor"]["total"], 1e-9)
        for index, name in enumerate(result):
            lead = f"round {number + 1}:" if index == 0 else ""
            print(f"{lead:9s}{name:10s}{describe(result[name])}", flush=True)
        print(f"{'':9s}{'ratio':10s}{ratio:.2f}", flush=True)


def median(name, *path):
    values = []
    for result in rounds:
        value = result[name]
        for key in path:
            value = value.get(key, 0.0) if isinstance(value, dict) else value
        values.append(value)
    return statistics.median(values)


print(f"median of {runs} rounds of {seconds:.0f} s, share of one core:")
for name in rounds[0]:
    kinds = sorted({k for result in rounds for k in result[name]["threads"]})
    parts = "  ".join(f"{k} {median(name, 'threads', k):.3f} %"
                      f" ({median(name, 'wakeups', k):.1f} wakeups/s)" for k in kinds)
    print(f"  {name:9s} {median(name, 'total'):.3f} % (stat {median(name, 'stat'):.2f} %)"
          f"  {parts}")
for name in (n for n in rounds[0] if n != "floor"):
    ratios = [r[name]["total"] / max(r["floor"]["total"], 1e-9) for r in rounds]
    print(f"  ratio of {name} to the floor: {statistics.median(ratios):.2f}")
print("  target: at most 1.5 times the floor, and at most 0.5 % of one core")

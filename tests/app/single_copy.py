#!/usr/bin/env python3
"""Only one copy of the program runs: real processes of the real program.

A second copy finds the running one and ends with 0 at once; a copy that
finds the lock held by a process without a window tries five times, half a
second apart, and then ends with 0 without opening a window of its own."""
import fcntl
import os
import subprocess
import sys
import tempfile
import time
import wave

program = sys.argv[1]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


with tempfile.TemporaryDirectory() as folder:
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    silence = os.path.join(folder, "silence.wav")
    with wave.open(silence, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(11025)
        out.writeframes(b"\0\0" * 11025)
    env = dict(os.environ, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               QT_QPA_PLATFORM="offscreen")
    command = [program, "--input", silence, "--phone", "log"]

    # The first copy: up once its window answers, which the second copy's
    # quick return shows; give it time to come up first.
    first = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        time.sleep(2.0)
        check(first.poll() is None, "the first copy is running")
        begun = time.monotonic()
        second = subprocess.run(command, env=env, capture_output=True, timeout=30)
        took = time.monotonic() - begun
        check(second.returncode == 0, f"second copy exit code {second.returncode}")
        # Finding the window on the first try needs no half-second wait;
        # five failed tries would take 2.5 s.
        check(took < 2.0, f"second copy took {took:.2f} s")
        check(first.poll() is None, "the first copy still runs after being activated")
    finally:
        first.terminate()
        first.wait(timeout=10)

    # A holder of the lock without a window: five tries, then give up.
    lock_path = os.path.join(runtime, "CradleCom.lock")
    with open(lock_path, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        begun = time.monotonic()
        waiting = subprocess.run(command, env=env, capture_output=True, timeout=30)
        took = time.monotonic() - begun
        check(waiting.returncode == 0, f"waiting copy exit code {waiting.returncode}")
        check(took >= 2.5, f"waiting copy gave up after {took:.2f} s, before five tries")

    # The lock is free again: the next copy starts and runs.
    third = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    try:
        time.sleep(1.0)
        check(third.poll() is None, "a copy starts once the lock is free")
    finally:
        third.terminate()
        third.wait(timeout=10)

for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)

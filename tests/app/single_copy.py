#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Only one copy of the program runs: real processes of the real program.

A second copy finds the running one and ends with 0 at once; a copy that
finds the lock held by a process without a window tries five times, half a
second apart, and then ends with 0 without opening a window of its own.
Copies started at once in different environments leave exactly one; a copy
killed with SIGKILL never stops the next; a folder for the lock that is not
the user's own is refused with a reason and a non-zero status. A copy is
"up" once it has said so on standard error; no step here is timed, every
wait is bounded."""
import fcntl
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from apptest import check, wait_until, stop, write_silence, finish

program = sys.argv[1]


def started(path):
    """Whether the copy that writes its standard error to `path` is up."""
    with open(path, "rb") as f:
        return b"program started" in f.read()


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    os.mkdir(os.path.join(folder, "t0"), 0o700)
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    # CRADLECOM_SYSTEM_ROOT keeps /run/user and /tmp of the machine out of it.
    base = dict(os.environ, CRADLECOM_SYSTEM_ROOT=folder, QT_QPA_PLATFORM="offscreen",
                XDG_CONFIG_HOME=os.path.join(folder, "config"),
                XDG_STATE_HOME=os.path.join(folder, "state"), TMPDIR=os.path.join(folder, "t0"))
    base.pop("XDG_RUNTIME_DIR", None)
    env = dict(base, XDG_RUNTIME_DIR=runtime)
    command = [program, "--input", silence, "--phone", "log"]

    # The first copy, then a second: it finds the first, brings it to the
    # front and ends with 0 without coming up itself.
    first_err = os.path.join(folder, "first.err")
    with open(first_err, "wb") as err:
        first = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=err)
    try:
        check(wait_until(lambda: started(first_err), 60), "the first copy came up")
        second = subprocess.run(command, env=env, capture_output=True, timeout=30)
        check(second.returncode == 0, f"second copy exit code {second.returncode}")
        check(b"program started" not in second.stderr, "the second copy did not come up")
        check(first.poll() is None, "the first copy still runs after being activated")
    finally:
        stop(first)

    # A holder of the lock without a window: the copy gives up (after five
    # tries, which the simulated platform counts) and never comes up.
    lock_path = os.path.join(runtime, "CradleCom.lock")
    with open(lock_path, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        waiting = subprocess.run(command, env=env, capture_output=True, timeout=30)
        check(waiting.returncode == 0, f"waiting copy exit code {waiting.returncode}")
        check(b"program started" not in waiting.stderr, "the waiting copy did not come up")
    os.remove(lock_path)

    # Five copies at once in five environments: the user's own runtime
    # folder wins over whatever XDG_RUNTIME_DIR and TMPDIR say.
    user_runtime = os.path.join(folder, "run", "user", str(os.geteuid()))
    os.makedirs(user_runtime, mode=0o700)
    for name in ("xdg1", "xdg2", "t1", "t2"):
        os.mkdir(os.path.join(folder, name), 0o700)
    environments = [
        dict(base, XDG_RUNTIME_DIR=os.path.join(folder, "xdg1")),
        dict(base),
        dict(base, XDG_RUNTIME_DIR=os.path.join(folder, "xdg2"),
             TMPDIR=os.path.join(folder, "t1")),
        dict(base, TMPDIR=os.path.join(folder, "t2")),
        dict(base, XDG_RUNTIME_DIR="/nonexistent"),
    ]
    copies = [subprocess.Popen(command, env=e, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL) for e in environments]
    try:
        wait_until(lambda: sum(c.poll() is None for c in copies) <= 1, 30)
        time.sleep(1.0)
        running = [c for c in copies if c.poll() is None]
        check(len(running) == 1, f"{len(running)} of five copies run")
        check(all(c.returncode == 0 for c in copies if c not in running),
              f"exit codes {[c.returncode for c in copies]}")
        check(sorted(os.listdir(os.path.join(folder, "xdg1"))) == [],
              "nothing in XDG_RUNTIME_DIR when the user's folder exists")

        # Killed without a word: lock and socket stay behind, and never
        # stop the next copy, which comes up and answers.
        for survivor in running:
            survivor.send_signal(signal.SIGKILL)
            survivor.wait(timeout=10)
        check(len(os.listdir(user_runtime)) > 0, "the killed copy left its socket behind")
        after_err = os.path.join(folder, "after.err")
        with open(after_err, "wb") as err:
            after = subprocess.Popen(command, env=dict(base), stdout=subprocess.DEVNULL,
                                     stderr=err)
        copies.append(after)
        check(wait_until(lambda: started(after_err), 60), "a copy starts after one was killed")
        try:
            again = subprocess.run(command, env=dict(base, XDG_RUNTIME_DIR=runtime),
                                   capture_output=True, timeout=30)
            check(again.returncode == 0 and b"program started" not in again.stderr,
                  "the new copy answers on the socket the killed one left")
        except subprocess.TimeoutExpired:
            check(False, "a copy in another environment ran beside the new one")
        check(after.poll() is None, "the new copy still runs")
    finally:
        for c in copies:
            stop(c)

    # No folder of the user's own for the lock: refused, said, non-zero.
    shutil.rmtree(user_runtime)
    fallback = os.path.join(folder, "tmp", f"cradlecom-{os.geteuid()}")
    os.makedirs(fallback)
    os.chmod(fallback, 0o777)
    refused = subprocess.run(command, env=dict(base), capture_output=True, timeout=30)
    check(refused.returncode != 0, f"refused folder exit code {refused.returncode}")
    check(b"not a private folder" in refused.stderr, f"told: {refused.stderr!r}")
    os.chmod(fallback, 0o700)

finish()

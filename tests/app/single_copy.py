#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Only one copy of the program runs: real processes of the real program.

A second copy finds the running one and ends at once: beside a copy that
runs offscreen, where nobody sees it, with status 1 and how to see it; a copy that
finds the lock held by a process without a window tries five times, half a
second apart, and then ends without opening a window of its own (with
--start, non-zero and the reason). Copies started at once in different
environments leave exactly one, on a machine without /run/user/UID too; a
copy killed with SIGKILL never stops the next; a folder for the lock that is
not the user's own is refused with a reason and a non-zero status. --start
beside a copy that does not monitor makes it monitor, or says why not. A
copy whose activation socket cannot be made says so in its log. A copy is
"up" once it has said so on standard error; no step here is timed, every
wait is bounded."""
import fcntl
import os
import signal
import subprocess
import sys
import tempfile
import time

from apptest import met_unseen_copy, check, wait_until, stop, write_silence, finish

program = sys.argv[1]


def said(path):
    with open(path, "rb") as f:
        return f.read().decode(errors="replace")


def started(path):
    """Whether the copy that writes its standard error to `path` is up."""
    return "program started" in said(path)


def ask(command, env):
    """A start that must end at once; one that runs on (a second copy that
    came up beside the first) is stopped and reported as status None."""
    try:
        return subprocess.run(command, env=env, capture_output=True, text=True, timeout=30)
    except subprocess.TimeoutExpired as expired:
        return subprocess.CompletedProcess(command, None, "", str(expired.stderr))


def store(config, number):
    os.makedirs(os.path.join(config, "cradlecom"), exist_ok=True)
    with open(os.path.join(config, "cradlecom", "registry"), "w") as f:
        f.write(f"[Software\\Veltrano\\CradleCom\\Settings]\nPhoneNumber = sz:{number}\n"
                "Language = sz:1\nFirstUse = sz:1\n")


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    # An XDG_RUNTIME_DIR too long for a socket's path beside it.
    runtime = os.path.join(folder, "runtime-" + "r" * 80)
    os.mkdir(runtime, 0o700)
    for name in ("t0", "tmp"):
        os.mkdir(os.path.join(folder, name), 0o700)
    # The one folder every copy of this user meets in.
    rendezvous = os.path.join(folder, "tmp", f"cradlecom-{os.geteuid()}")
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    # CRADLECOM_SYSTEM_ROOT keeps /run/user and /tmp of the machine out of it.
    config = os.path.join(folder, "config")
    store(config, "0301234")
    base = dict(os.environ, CRADLECOM_SYSTEM_ROOT=folder, QT_QPA_PLATFORM="offscreen",
                XDG_CONFIG_HOME=config, XDG_STATE_HOME=os.path.join(folder, "state"),
                TMPDIR=os.path.join(folder, "t0"))
    base.pop("XDG_RUNTIME_DIR", None)
    env = dict(base, XDG_RUNTIME_DIR=runtime)
    command = [program, "--input", silence, "--phone", "log"]

    # The first copy (with the long XDG_RUNTIME_DIR), then a second: it
    # finds the first, which runs offscreen, says that nobody can see it and
    # how to see it, and ends with 1 without coming up itself.
    first_err = os.path.join(folder, "first.err")
    with open(first_err, "wb") as err:
        first = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=err)
    try:
        check(wait_until(lambda: started(first_err), 60), "the first copy came up")
        second = subprocess.run(command, env=env, capture_output=True, timeout=30)
        check(met_unseen_copy(second), f"second copy: {second.returncode} {second.stderr!r}")
        check(b"program started" not in second.stderr, "the second copy did not come up")
        check(first.poll() is None, "the first copy still runs after being activated")

        # --start beside it, from another environment (XDG_RUNTIME_DIR
        # unset): the copy that runs starts monitoring, as Start there
        # would, and both say so; asked again, it is on already.
        for attempt, answer in ((1, "monitoring started in the copy that runs already"),
                                (2, "monitoring is on already in the copy that runs")):
            asked = ask(command + ["--start"], base)
            check(asked.returncode == 0 and answer in asked.stderr,
                  f"--start {attempt} beside a copy: {asked.returncode} {asked.stderr!r}")
        check(wait_until(lambda: "info: monitoring on" in said(first_err), 10) and
              "another start asks for monitoring" in said(first_err),
              f"the running copy monitors and logs why: {said(first_err)!r}")
        # A start that read other settings (the demonstration's own store)
        # never makes this copy call: refused, with the reason on both sides.
        demo_config = os.path.join(folder, "demo-config")
        store(demo_config, "0170 0000000")
        asked = ask(command + ["--start"], dict(base, XDG_CONFIG_HOME=demo_config))
        check(asked.returncode == 2 and "calls another number" in asked.stderr,
              f"--start with other settings: {asked.returncode} {asked.stderr!r}")
        check(wait_until(lambda: "it would call 0170 0000000, this copy calls 0301234"
                         in said(first_err), 10), "the running copy logs the refusal")
    finally:
        stop(first)

    # A holder of the lock without a window: the copy gives up (after five
    # tries, which the simulated platform counts) and never comes up; with
    # --start it says so and fails, as nothing monitors.
    lock_path = os.path.join(rendezvous, "CradleCom.lock")
    with open(lock_path, "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        waiting = subprocess.run(command, env=env, capture_output=True, timeout=30)
        check(waiting.returncode == 0, f"waiting copy exit code {waiting.returncode}")
        check(b"program started" not in waiting.stderr, "the waiting copy did not come up")
        waiting = subprocess.run(command + ["--start"], env=env, capture_output=True, timeout=30)
        check(waiting.returncode == 1 and b"holds the lock but shows no window" in waiting.stderr,
              f"--start beside a lock without a window: {waiting.returncode} {waiting.stderr!r}")
    os.remove(lock_path)

    # Six copies at once in six environments, on a machine without
    # /run/user/UID: XDG_RUNTIME_DIR, TMPDIR and HOME play no part.
    for name in ("xdg1", "xdg2", "t1", "t2", "home"):
        os.mkdir(os.path.join(folder, name), 0o700)
    environments = [
        dict(base, XDG_RUNTIME_DIR=os.path.join(folder, "xdg1")),
        dict(base),
        dict(base, XDG_RUNTIME_DIR=os.path.join(folder, "xdg2"),
             TMPDIR=os.path.join(folder, "t1")),
        dict(base, TMPDIR=os.path.join(folder, "t2")),
        dict(base, XDG_RUNTIME_DIR="/nonexistent"),
        dict(base, HOME=os.path.join(folder, "home")),
    ]
    copies = [subprocess.Popen(command, env=e, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL) for e in environments]
    try:
        wait_until(lambda: sum(c.poll() is None for c in copies) <= 1, 30)
        time.sleep(1.0)
        running = [c for c in copies if c.poll() is None]
        check(len(running) == 1, f"{len(running)} of six copies run")
        # 1 for those that found the one that runs (offscreen), 0 for any
        # that met the lock before its window was up.
        check(all(c.returncode in (0, 1) for c in copies if c not in running),
              f"exit codes {[c.returncode for c in copies]}")
        check(sorted(os.listdir(os.path.join(folder, "xdg1"))) == [],
              "nothing in XDG_RUNTIME_DIR")

        # Killed without a word: lock and socket stay behind, and never
        # stop the next copy, which comes up and answers.
        for survivor in running:
            survivor.send_signal(signal.SIGKILL)
            survivor.wait(timeout=10)
        check(len(os.listdir(rendezvous)) > 0, "the killed copy left its socket behind")
        after_err = os.path.join(folder, "after.err")
        with open(after_err, "wb") as err:
            after = subprocess.Popen(command, env=dict(base), stdout=subprocess.DEVNULL,
                                     stderr=err)
        copies.append(after)
        check(wait_until(lambda: started(after_err), 60), "a copy starts after one was killed")
        try:
            again = subprocess.run(command, env=dict(base, XDG_RUNTIME_DIR=runtime),
                                   capture_output=True, timeout=30)
            check(met_unseen_copy(again) and b"program started" not in again.stderr,
                  "the new copy answers on the socket the killed one left")
        except subprocess.TimeoutExpired:
            check(False, "a copy in another environment ran beside the new one")
        check(after.poll() is None, "the new copy still runs")
    finally:
        for c in copies:
            stop(c)

    # No folder of the user's own for the lock: refused, said, non-zero.
    os.chmod(rendezvous, 0o777)
    refused = subprocess.run(command, env=dict(base), capture_output=True, timeout=30)
    check(refused.returncode != 0, f"refused folder exit code {refused.returncode}")
    check(b"not a private folder" in refused.stderr, f"told: {refused.stderr!r}")
    os.chmod(rendezvous, 0o700)

    # A folder so deep that the socket's path does not fit: the copy runs,
    # and its log says that no other start can reach it.
    deep = os.path.join(folder, "d" * 80)
    os.makedirs(os.path.join(deep, "tmp"))
    deep_err = os.path.join(folder, "deep.err")
    with open(deep_err, "wb") as err:
        lone = subprocess.Popen(command, env=dict(base, CRADLECOM_SYSTEM_ROOT=deep),
                                stdout=subprocess.DEVNULL, stderr=err)
    try:
        check(wait_until(lambda: started(deep_err), 60), "the copy in a deep folder came up")
        check("warning: no activation socket: its path " in said(deep_err) and
              "another start cannot reach this window" in said(deep_err),
              f"the copy says it cannot be reached: {said(deep_err)!r}")
    finally:
        stop(lone)

finish()

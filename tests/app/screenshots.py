#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""--screenshots DIR with real processes: it makes DIR and its parents,
works beside a running copy without touching it, changes nothing of the
user's (the store stays byte for byte, not even a first-use marker; no line
in the event log's file; nothing left in TMPDIR), and ends non-zero with a
clear message when a picture cannot be written."""
import os
import struct
import subprocess
import sys
import tempfile

from apptest import met_unseen_copy, check, wait_until, write_silence, finish

program = sys.argv[1]
names = [f"{kind}-{language}.png" for language in ("de", "en")
         for kind in ("main", "dialog-113", "dialog-114", "dialog-115", "dialog-116")]


def png_size(path):
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", head[16:24])


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    # Where a running copy's lock and socket live: ROOT/tmp/cradlecom-UID.
    rendezvous = os.path.join(folder, "tmp", f"cradlecom-{os.geteuid()}")
    temporary = os.path.join(folder, "t")
    os.mkdir(temporary, 0o700)
    config = os.path.join(folder, "config", "cradlecom")
    os.makedirs(config)
    state = os.path.join(folder, "state")
    env = dict(os.environ, CRADLECOM_SYSTEM_ROOT=folder, QT_QPA_PLATFORM="offscreen",
               XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               XDG_STATE_HOME=state, TMPDIR=temporary, HOME=os.path.join(folder, "home"))
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    # A store without the first-use marker: a normal start would write it.
    store = os.path.join(config, "registry")
    stored = ("[Software\\Veltrano\\CradleCom\\Settings]\nVolSensi = sz:35\n"
              "PhoneNumber = sz:0301234\nLanguage = sz:1\n").encode()
    with open(store, "wb") as f:
        f.write(stored)

    # First alone: a folder whose parents do not exist yet.
    shots = os.path.join(folder, "pictures", "of", "cradlecom")
    taken = subprocess.run([program, "--screenshots", shots], env=env, capture_output=True,
                           timeout=120)
    check(taken.returncode == 0, f"screenshots: status {taken.returncode}: {taken.stderr!r}")
    check(sorted(os.listdir(shots)) == sorted(names), f"pictures: {sorted(os.listdir(shots))}")
    for name in names:
        size = png_size(os.path.join(shots, name))
        check(size is not None and size[0] > 100 and size[1] > 100, f"{name}: a picture {size}")
    # The store says English; the German pictures are German all the same.
    for kind in ("main", "dialog-114"):
        check(open(os.path.join(shots, kind + "-de.png"), "rb").read() !=
              open(os.path.join(shots, kind + "-en.png"), "rb").read(),
              f"{kind}: German and English differ")
    check(open(store, "rb").read() == stored, "the store is left byte for byte")
    check(not os.path.exists(os.path.join(state, "cradlecom", "events.log")),
          "no line in the event log's file")
    check(os.listdir(temporary) == [], f"left in TMPDIR: {os.listdir(temporary)}")
    check(os.listdir(runtime) == [], f"left in the runtime folder: {os.listdir(runtime)}")
    check(not os.path.exists(rendezvous), "the screenshots kept away from the copies' folder")

    # Beside a running copy: the same pictures, the copy undisturbed and
    # still the one that answers.
    running = subprocess.Popen([program, "--input", silence, "--phone", "log"], env=env,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        check(wait_until(lambda: os.path.isdir(rendezvous) and
                         any(n.endswith(".socket") for n in os.listdir(rendezvous)) and
                         b"FirstUse" in open(store, "rb").read(), 60),
              "the running copy came up and wrote its first-use marker")
        marked = open(store, "rb").read()
        beside = os.path.join(folder, "beside")
        taken = subprocess.run([program, "--screenshots", beside], env=env, capture_output=True,
                               timeout=120)
        check(taken.returncode == 0, f"beside a copy: status {taken.returncode}: {taken.stderr!r}")
        check(sorted(os.listdir(beside)) == sorted(names), f"beside: {os.listdir(beside)}")
        check(running.poll() is None, "the running copy runs on")
        check(open(store, "rb").read() == marked, "the store is left as the copy wrote it")
        second = subprocess.run([program, "--input", silence, "--phone", "log"], env=env,
                                capture_output=True, timeout=60)
        check(met_unseen_copy(second) and running.poll() is None,
              "a second start still finds the running copy")
    finally:
        running.terminate()
        running.wait(timeout=10)

    # A picture that cannot be written (a folder in its place): told by
    # name, and a status that says so.
    blocked = os.path.join(folder, "blocked")
    os.makedirs(os.path.join(blocked, "dialog-114-en.png"))
    taken = subprocess.run([program, "--screenshots", blocked], env=env, capture_output=True,
                           text=True, timeout=120)
    check(taken.returncode != 0, f"unwritable picture: status {taken.returncode}")
    check("cannot write " + os.path.join(blocked, "dialog-114-en.png") in taken.stderr and
          "not every screenshot could be written" in taken.stderr,
          f"unwritable picture told: {taken.stderr!r}")

    # A folder that cannot be made (a file in the way): one clear line.
    in_the_way = os.path.join(folder, "file")
    open(in_the_way, "w").close()
    taken = subprocess.run([program, "--screenshots", os.path.join(in_the_way, "shots")],
                           env=env, capture_output=True, text=True, timeout=60)
    check(taken.returncode != 0, f"folder in the way: status {taken.returncode}")
    check(taken.stderr.count("\n") == 1 and "cannot make the folder" in taken.stderr,
          f"folder in the way told once: {taken.stderr!r}")
    check(os.listdir(temporary) == [], f"left in TMPDIR: {os.listdir(temporary)}")

finish()

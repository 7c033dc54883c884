#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The README's first command without display, microphone or modem: the
demonstration of tools/demo.sh (which tools/run.sh runs then) monitors the
bundled recording and writes the call to the terminal within a minute,
without reading or touching the user's own settings, and leaves nothing
behind when it is stopped. Beside the user's own copy it never makes that
copy monitor."""
import os
import signal
import subprocess
import sys
import tempfile
import time

from apptest import check, finish, write_silence

script, program = sys.argv[1:3]

with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    home = os.path.join(folder, "home")
    user_config = os.path.join(home, ".config", "cradlecom")
    os.makedirs(user_config)
    # The user's own store, with a real number that must never be used.
    own = ("[Software\\Veltrano\\CradleCom\\Settings]\nPhoneNumber = sz:0301234\n"
           "FirstUse = sz:1\n")
    with open(os.path.join(user_config, "registry"), "w") as f:
        f.write(own)
    temporary = os.path.join(folder, "t")
    os.mkdir(temporary, 0o700)
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME",
                          "XDG_STATE_HOME", "XDG_RUNTIME_DIR")}
    env.update(HOME=home, TMPDIR=temporary, CRADLECOM_SYSTEM_ROOT=folder)
    output = open(os.path.join(folder, "demo.out"), "w+")
    demo = subprocess.Popen([script, program], env=env, stdout=output,
                            stderr=subprocess.STDOUT, start_new_session=True)

    def said():
        output.seek(0)
        return output.read()

    try:
        end = time.monotonic() + 60
        while time.monotonic() < end and demo.poll() is None:
            if "call only logged, not placed: 0170 0000000" in said():
                break
            time.sleep(0.2)
        text = said()
        check("call only logged, not placed: 0170 0000000" in text,
              f"the call within a minute: {text!r}")
        check("monitoring on" in text, "monitoring started by itself")
        check("0301234" not in text, "the user's own number is never used")
        check(demo.poll() is None, f"the demonstration runs on (ended {demo.poll()})")
    finally:
        if demo.poll() is None:
            os.killpg(demo.pid, signal.SIGINT)  # Ctrl+C
            try:
                demo.wait(timeout=20)
            except subprocess.TimeoutExpired:
                os.killpg(demo.pid, signal.SIGKILL)
                demo.wait()
        output.close()
    with open(os.path.join(user_config, "registry")) as f:
        check(f.read() == own, "the user's own store is untouched")
    check(sorted(os.listdir(home)) == [".config"], f"nothing else in the home: {os.listdir(home)}")
    check(os.listdir(temporary) == [], f"left behind: {os.listdir(temporary)}")

    # Beside the user's own copy, which does not monitor: that copy is
    # brought to the front and left as it is (it never calls for the
    # demonstration), and the demonstration ends saying why.
    own_err = open(os.path.join(folder, "own.err"), "w+")
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    own_runtime = os.path.join(folder, "own-runtime")  # Qt's own, private
    os.mkdir(own_runtime, 0o700)
    own = subprocess.Popen([program, "--input", silence, "--loop", "--phone", "log",
                            "-platform", "offscreen"],
                           env=dict(env, XDG_RUNTIME_DIR=own_runtime), stdout=subprocess.DEVNULL,
                           stderr=own_err)

    def own_said():
        own_err.seek(0)
        return own_err.read()

    try:
        end = time.monotonic() + 60
        while time.monotonic() < end and "program started" not in own_said():
            time.sleep(0.1)
        beside = subprocess.run([script, program], env=env, capture_output=True, text=True,
                                timeout=60)
        check(beside.returncode != 0 and "calls another number" in beside.stderr,
              f"the demonstration beside a copy: {beside.returncode} {beside.stderr!r}")
        check(own.poll() is None and "monitoring on" not in own_said(),
              f"the user's copy runs on without monitoring: {own_said()!r}")
    finally:
        own.terminate()
        own.wait(timeout=20)
        own_err.close()
    check(os.listdir(temporary) == [], f"left behind: {os.listdir(temporary)}")

finish()

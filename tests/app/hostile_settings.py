#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What stands in the settings file's place never hangs the program and is
never overwritten: a pipe, a folder, a file the user may not read, and a
link at the old fixed temporary name. Real processes of the real program.

The program counts as up once its window answers on its socket in the
user's runtime folder; a hung start never gets there (the wait is bounded,
not timed). A mode-000 file stops no root process, so that case
runs as the user nobody (setpriv) when the test runs as root."""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import time

from apptest import met_unseen_copy, check, write_silence, finish

program = sys.argv[1]
nobody = 65534


def run_case(folder, name, prepare, verify, as_nobody=False):
    """Starts the program on a configuration folder that `prepare` fills,
    waits until it is up, ends it, and hands the folder to `verify`."""
    case = os.path.join(folder, name)
    user = nobody if as_nobody else os.geteuid()
    runtime = os.path.join(case, "tmp", f"cradlecom-{user}")
    config = os.path.join(case, "config", "cradlecom")
    for path in (runtime, config, os.path.join(case, "home")):
        os.makedirs(path)
    os.chmod(runtime, 0o700)
    if as_nobody:
        for root, dirs, _ in os.walk(case):
            for d in dirs:
                os.chown(os.path.join(root, d), nobody, nobody)
        os.chown(case, nobody, nobody)
    prepare(config)
    env = dict(os.environ, CRADLECOM_SYSTEM_ROOT=case, QT_QPA_PLATFORM="offscreen",
               XDG_CONFIG_HOME=os.path.join(case, "config"), HOME=os.path.join(case, "home"),
               XDG_STATE_HOME=os.path.join(case, "home"), TMPDIR=os.path.join(case, "home"))
    env["XDG_RUNTIME_DIR"] = runtime  # for Qt; the program finds it anyway
    command = [program, "--input", silence, "--phone", "log"]
    if as_nobody:
        command = ["setpriv", f"--reuid={nobody}", f"--regid={nobody}", "--clear-groups"] + command
    begun = time.monotonic()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        up = None
        while time.monotonic() - begun < 60.0 and process.poll() is None:
            if any(entry.endswith(".socket") for entry in os.listdir(runtime)):
                up = time.monotonic() - begun
                break
            time.sleep(0.02)
        check(up is not None, f"{name}: the program came up (exit {process.poll()})")
        if up is not None:
            print(f"{name}: up after {up:.2f} s")
            if not as_nobody:
                # The copy that holds the lock answers: it is not hung.
                second = subprocess.run(command, env=env, capture_output=True, timeout=30)
                check(met_unseen_copy(second), f"{name}: a second copy finds the first")
    finally:
        process.terminate()
        process.wait(timeout=10)
    verify(config)


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)
    os.chmod(silence, 0o644)
    stored = ("[Software\\Veltrano\\CradleCom\\Settings]\nVolSensi = sz:35\n"
              "PhoneNumber = sz:0301234\nFirstUse = sz:1\n")

    def fifo(config):
        os.mkfifo(os.path.join(config, "registry"), 0o600)

    run_case(folder, "fifo", fifo,
             lambda config: check(stat.S_ISFIFO(os.lstat(os.path.join(config, "registry")).st_mode),
                                  "fifo: the pipe stays"))

    def directory(config):
        os.mkdir(os.path.join(config, "registry"))
        with open(os.path.join(config, "registry", "inside"), "w") as f:
            f.write("keep")

    def directory_stays(config):
        with open(os.path.join(config, "registry", "inside")) as f:
            check(f.read() == "keep", "directory: its content stays")

    run_case(folder, "directory", directory, directory_stays)

    def unreadable(config):
        path = os.path.join(config, "registry")
        with open(path, "w") as f:
            f.write(stored)
        if os.geteuid() == 0:
            os.chown(path, nobody, nobody)
        os.chmod(path, 0)

    def unreadable_stays(config):
        path = os.path.join(config, "registry")
        check(stat.S_IMODE(os.stat(path).st_mode) == 0, "unreadable: the mode stays")
        os.chmod(path, 0o600)
        with open(path) as f:
            check(f.read() == stored, "unreadable: the file is not overwritten")

    if os.geteuid() != 0 or shutil.which("setpriv"):
        run_case(folder, "unreadable", unreadable, unreadable_stays,
                 as_nobody=os.geteuid() == 0)
    else:
        print("unreadable: skipped, root without setpriv")

    # No first-use marker: the start writes one, which commits the store.
    def link(config):
        with open(os.path.join(config, "registry"), "w") as f:
            f.write(stored.replace("FirstUse = sz:1\n", ""))
        with open(os.path.join(folder, "target"), "w") as f:
            f.write("keep")
        os.symlink(os.path.join(folder, "target"), os.path.join(config, "registry.new"))

    def link_untouched(config):
        with open(os.path.join(folder, "target")) as f:
            check(f.read() == "keep", "link: its target is untouched")
        check(os.path.islink(os.path.join(config, "registry.new")), "link: the link stays")
        with open(os.path.join(config, "registry")) as f:
            text = f.read()
        check("FirstUse = sz:1" in text and "VolSensi = sz:35" in text,
              f"link: the store took the marker and kept its values: {text!r}")

    run_case(folder, "link", link, link_untouched)

finish()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The command line of the real program, GNU style, read before anything
needs a display: every run here has neither DISPLAY nor WAYLAND_DISPLAY nor
QT_QPA_PLATFORM, so a run that touched Qt's window platform would abort."""
import os
import struct
import subprocess
import sys
import tempfile
import time
import wave

from apptest import check, write_silence, finish

program, version = sys.argv[1:3]

with tempfile.TemporaryDirectory() as folder:
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    os.mkdir(os.path.join(folder, "tmp"))
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    # CRADLECOM_SYSTEM_ROOT keeps the copy that comes up apart from any other.
    env.update(CRADLECOM_SYSTEM_ROOT=folder, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=os.path.join(folder, "config"),
               XDG_STATE_HOME=os.path.join(folder, "state"), TMPDIR=folder, LC_ALL="C.UTF-8")
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)

    def run(*arguments):
        return subprocess.run([program, *arguments], env=env, capture_output=True, text=True,
                              timeout=30)

    for asked in ("--help", "-h"):
        result = run(asked)
        check(result.returncode == 0, f"{asked}: status {result.returncode}: {result.stderr}")
        check(result.stdout.startswith("Usage: cradlecom [OPTION]..."), f"{asked}: usage line")
        for option in ("--input SOURCE", "--loop", "--start", "--phone BACKEND", "--notify CHANNEL",
                       "--heartbeat URL", "--heartbeat-interval SECONDS",
                       "--screenshots DIR", "--events", "--set NAME=VALUE", "--get",
                       "--calibrate[=SECONDS]",
                       "-platform NAME", "--help", "--version"):
            lines = [line for line in result.stdout.splitlines() if option in line]
            # Each option has a description, on its line or the next.
            check(lines, f"{asked} lists {option}")
        check("a copy that runs already takes the change within ten seconds" in
              " ".join(result.stdout.split()),
              f"{asked}: a running copy takes --set within ten seconds")
        check("Report bugs to: info@veltrano.de" in result.stdout, f"{asked}: where to report bugs")
        check("https://www.veltrano.de/cradlecom/" in result.stdout, f"{asked}: home page")
        check(result.stderr == "", f"{asked}: nothing on standard error: {result.stderr}")

    for asked in ("--version", "-v"):
        result = run(asked)
        check(result.returncode == 0, f"{asked}: status {result.returncode}: {result.stderr}")
        check(result.stdout.splitlines()[:1] == [f"cradlecom {version}"],
              f"{asked}: first line {result.stdout.splitlines()[:1]}")

    # Wrong usage: each fault has its own message, and status 2.
    result = run("--bogus")
    check(result.returncode == 2, f"unknown option: status {result.returncode}")
    check("unknown option '--bogus'" in result.stderr, f"unknown option: {result.stderr!r}")
    check("missing value" not in result.stderr, "an unknown option is no missing value")
    result = run("--input=" + silence, "--phone")
    check(result.returncode == 2, f"missing value: status {result.returncode}")
    check("missing value for option '--phone'" in result.stderr, f"missing value: {result.stderr!r}")
    check("unknown option" not in result.stderr, "a missing value is no unknown option")
    result = run("-platform")
    check(result.returncode == 2 and "missing value for option '-platform'" in result.stderr,
          f"-platform without a name: {result.returncode} {result.stderr!r}")
    result = run("--events=yes")
    check(result.returncode == 2 and "takes no value" in result.stderr,
          f"a switch with a value: {result.returncode} {result.stderr!r}")
    result = run("stray")
    check(result.returncode == 2 and "unexpected argument 'stray'" in result.stderr,
          f"a stray argument: {result.returncode} {result.stderr!r}")
    # What runs without the window does not mix with what needs it.
    for arguments in (["--set", "VolSensi=5", "--start"], ["--get", "--screenshots", folder],
                      ["--events", "--start"], ["--start", "--screenshots", folder]):
        result = run(*arguments)
        check(result.returncode == 2 and ("cannot be combined" in result.stderr or
                                          "give them separately" in result.stderr),
              f"{arguments}: {result.returncode} {result.stderr!r}")
    result = run("--set")
    check(result.returncode == 2 and "missing value for option '--set'" in result.stderr,
          f"--set without a value: {result.returncode} {result.stderr!r}")
    # Values are checked before any display is needed.
    result = run("--phone", "nonsense")
    check(result.returncode == 2 and "nonsense" in result.stderr,
          f"unknown phone backend: {result.returncode} {result.stderr!r}")
    result = run("--input=" + os.path.join(folder, "absent.wav"))
    check(result.returncode == 2 and "absent.wav" in result.stderr,
          f"unreadable recording: {result.returncode} {result.stderr!r}")

    # Both forms of a value are taken; without a display the program says so
    # in one line with the way out instead of aborting inside Qt.
    for arguments in (["--input=" + silence], ["--input", silence]):
        result = run(*arguments, "--phone=log")
        check(result.returncode == 2, f"{arguments} without a display: status {result.returncode}")
        lines = result.stderr.splitlines()
        check(len(lines) == 1 and "no display" in lines[0] and "-platform offscreen" in lines[0],
              f"{arguments} without a display: {result.stderr!r}")

    # A window platform Qt does not have, asked for either way: named with
    # the ones Qt offers (from the installed plugins) and status 2, where Qt
    # would abort.
    for arguments, extra in ((["-platform", "nonexistent"], {}),
                             ([], {"QT_QPA_PLATFORM": "nonexistent"})):
        result = subprocess.run([program, "--input", silence, *arguments], capture_output=True,
                                text=True, timeout=30, env=dict(env, **extra))
        check(result.returncode == 2 and 'no window platform "nonexistent"' in result.stderr and
              "offscreen" in result.stderr.partition("Qt offers here:")[2],
              f"{arguments or extra}: {result.returncode} {result.stderr!r}")

    # --events prints the log's last 50 lines and needs no display.
    logs = os.path.join(folder, "state", "cradlecom")
    os.makedirs(logs)
    with open(os.path.join(logs, "events.log"), "w") as log:
        for number in range(1, 61):
            log.write(f"2026-01-01T00:00:00+00:00 information event {number}\n")
    result = run("--events")
    lines = result.stdout.splitlines()
    check(result.returncode == 0, f"--events: status {result.returncode} {result.stderr!r}")
    check(len(lines) == 50 and lines[0].endswith("event 11") and lines[-1].endswith("event 60"),
          f"--events printed {len(lines)} lines from {lines[:1]} to {lines[-1:]}")

    # What is no regular file is refused at once with the reason, never
    # waited on: a FIFO without a writer, a link to a device without end.
    fifo = os.path.join(folder, "room.fifo")
    os.mkfifo(fifo)
    endless = os.path.join(folder, "endless.wav")
    os.symlink("/dev/zero", endless)
    log_path = os.path.join(logs, "events.log")
    for source in (fifo, endless):
        os.remove(log_path)
        os.symlink(source, log_path)
        for arguments, status, named in ((["--input", source], 2, source),
                                         (["--events"], 1, log_path)):
            try:
                result = subprocess.run([program, *arguments], env=env, capture_output=True,
                                        text=True, timeout=10)
                check(result.returncode == status and f"{named}: not a regular file"
                      in result.stderr, f"{arguments} on {source}: {result.returncode} "
                      f"{result.stderr!r}")
            except subprocess.TimeoutExpired:
                check(False, f"{arguments} on {source} did not end")

    # Qt's own -platform still reaches Qt: the program comes up offscreen.
    started = subprocess.Popen([program, "-platform", "offscreen", "--input", silence,
                                "--phone", "log"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.PIPE, text=True)
    try:
        deadline = time.monotonic() + 3.0
        while time.monotonic() < deadline and started.poll() is None:
            time.sleep(0.1)
        check(started.poll() is None, f"-platform offscreen: ended with {started.returncode}")
    finally:
        started.terminate()
        try:
            started.wait(timeout=10)
        except subprocess.TimeoutExpired:
            started.kill()
            started.wait()
        started.stderr.close()

    # --calibrate listens through --input without a display: a dead
    # microphone and a loud room are refused and write nothing; a quiet room
    # is measured and what was chosen is stored as --set stores it.
    def room(path, amplitude):
        with wave.open(path, "wb") as out:
            out.setnchannels(1)
            out.setsampwidth(2)
            out.setframerate(11025)
            out.writeframes(b"".join(struct.pack("<h", (amplitude, -amplitude)[i % 2])
                                     for i in range(11025 * 6)))
    quiet, loud = os.path.join(folder, "quiet.wav"), os.path.join(folder, "loud.wav")
    room(quiet, 40)
    room(loud, 4000)
    store = os.path.join(folder, "config", "cradlecom", "registry")
    def stored_bytes():
        return open(store, "rb").read() if os.path.exists(store) else None
    before = stored_bytes()  # an earlier start may have written the first defaults
    for source, words in ((silence, "gives nothing"), (loud, "too loud")):
        result = run("--calibrate=5", "--input", source)
        check(result.returncode == 1 and words in result.stderr and "nothing written" in result.stderr
              and stored_bytes() == before,
              f"--calibrate on {source}: {result.returncode} {result.stderr!r}")
    result = run("--calibrate=500000")
    check(result.returncode == 2 and "5 to 600" in result.stderr,
          f"--calibrate=500000: {result.returncode} {result.stderr!r}")
    result = run("--calibrate=5", "--input", quiet)
    chosen = dict(line.split("=") for line in result.stdout.splitlines() if "=" in line and
                  "dBFS" not in line)
    check(result.returncode == 0 and "room level: -58.3 dBFS" in result.stdout and
          set(chosen) == {"VolSensi", "VolThresh", "CryThresh"},
          f"--calibrate on a quiet room: {result.returncode} {result.stdout!r} {result.stderr!r}")
    stored = run("--get").stdout.splitlines()
    check(all(f"{name}={value}" in stored for name, value in chosen.items()) and
          "VolSensi=50" not in stored, f"--calibrate stored {stored}")

finish()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The settings store as several programs and a hand editor share it, with
real processes of the real program: parallel --set runs of different
settings lose nothing; a running copy calls the number --set stored after
it started; a store cut short, open to others or another user's is refused
with its reason and kept; --get prints only what --set takes back, however
the store was edited."""
import os
import subprocess
import sys
import tempfile
import wave

from apptest import check, wait_until, stop, finish

program = sys.argv[1]
header = b"[Software\\Veltrano\\CradleCom\\Settings]\n"


def read(path):
    with open(path, "rb") as f:
        return f.read()


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    runtime = os.path.join(folder, "run", "user", str(os.geteuid()))
    os.makedirs(runtime, mode=0o700)
    config = os.path.join(folder, "config")
    store = os.path.join(config, "cradlecom", "registry")
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(CRADLECOM_SYSTEM_ROOT=folder, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=config,
               XDG_STATE_HOME=os.path.join(folder, "state"), HOME=os.path.join(folder, "home"),
               LC_ALL="C.UTF-8")

    def run(*arguments):
        return subprocess.run([program, *arguments], env=env, capture_output=True, text=True,
                              timeout=30)

    def get():
        return run("--get").stdout.splitlines()

    # Three --set runs at once, each of its own setting: every change stays.
    lost = 0
    for round_ in range(10):
        check(run("--set", "VolSensi=5", "--set", "PhoneDelay=5", "--set",
                  "PhoneNumber=0301").returncode == 0, "the round's start")
        chosen = [f"VolSensi={10 + round_}", f"PhoneDelay={20 + round_}",
                  f"PhoneNumber=0171 {round_}"]
        runs = [subprocess.Popen([program, "--set", setting], env=env,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                for setting in chosen]
        check(all(process.wait(timeout=60) == 0 for process in runs), "each --set succeeded")
        lost += sum(setting not in get() for setting in chosen)
    check(lost == 0, f"parallel --set runs lost {lost} of 30 changes")

    # A running copy takes the number stored after its start, and calls it:
    # six quiet seconds, then crying.
    loud = os.path.join(folder, "loud.wav")
    with wave.open(loud, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(11025)
        out.writeframes(b"\0\0" * 11025 * 6 + b"\x20\x4e\xe0\xb1" * 11025 * 5)
    check(run("--set", "PhoneNumber=0301 1111").returncode == 0, "the old number")
    log = open(os.path.join(folder, "running.err"), "w+")
    calls = open(os.path.join(folder, "running.out"), "w+")
    running = subprocess.Popen([program, "--start", "--input", loud, "--phone", "log",
                                "-platform", "offscreen"], env=env, stdout=calls, stderr=log)

    def text_of(stream):
        stream.seek(0)
        return stream.read()

    try:
        check(wait_until(lambda: "monitoring on" in text_of(log), 60), "monitoring on")
        check(run("--set", "PhoneNumber=0171 2222").returncode == 0, "the new number")
        check(wait_until(lambda: "call only logged" in text_of(calls), 60),
              f"the running copy called: {text_of(log)!r}")
        check("not placed: 0171 2222" in text_of(calls) and "1111" not in text_of(calls),
              f"it called the new number: {text_of(calls)!r}")
        check("settings taken from the store: PhoneNumber=0171 2222" in text_of(log),
              f"and said so: {text_of(log)!r}")
    finally:
        stop(running)
        log.close()
        calls.close()

    # Stores that are not to be trusted or not whole: the reason for --get,
    # --set and --start, status 1 (2 for a start without a number), and the
    # file as it was.
    cut = header + b"PhoneNumber = sz:0171 2222\nVolSensi = sz:4"
    cases = [("cut short", cut, 0o600, 0o700, os.geteuid()),
             ("others may change", header, 0o600, 0o777, os.geteuid()),
             ("others may change", header, 0o666, 0o700, os.geteuid())]
    if os.geteuid() == 0:
        cases.append(("belongs to another user", header, 0o600, 0o700, 65534))
    for reason, content, mode, folder_mode, owner in cases:
        with open(store, "wb") as f:
            f.write(content)
        os.chmod(store, mode)
        os.chmod(os.path.dirname(store), folder_mode)
        os.chown(store, owner, -1)
        for arguments in (["--get"], ["--set", "VolSensi=40"]):
            result = run(*arguments)
            check(result.returncode == 1 and reason in result.stderr and store in result.stderr,
                  f"{arguments} on a store that {reason}: {result.returncode} {result.stderr!r}")
        try:
            started = run("--start", "--input", loud, "--phone", "log", "-platform", "offscreen")
            check(started.returncode == 2 and "Die Einstellungen konnten nicht gelesen werden." in
                  started.stderr and "settings not read: " in started.stderr and
                  reason in started.stderr, f"--start on a store that {reason}: {started.stderr!r}")
        except subprocess.TimeoutExpired:
            check(False, f"--start on a store that {reason} monitored on what it read")
        check(read(store) == content, f"a store that {reason} was kept")
        os.chown(store, os.geteuid(), -1)
        os.chmod(os.path.dirname(store), 0o700)
        os.remove(store)

    # An edited store: values beyond the rules and a control character.
    with open(store, "wb") as f:
        f.write(header + b"VolSensi = sz:150\nCryThresh = sz:-4\nPhoneDelay = sz:-3\n"
                b"PhoneMaxCalls = sz:7\nLanguage = sz:7\nPhoneNumber = sz:0171%07 2\n"
                b"PhoneRingSeconds = sz:900\nPhoneNumber3 = sz:0171%07 3\n")
    result = run("--get")
    shown = result.stdout.splitlines()
    check(shown == ["VolSensi=100", "VolThresh=0", "CryThresh=0", "PhoneNumber=",
                    "PhoneDelay=0", "PhoneMaxCalls=7", "Language=0", "RecordNights=0",
                    "RecordNightsMB=2000", "CryCheck=0", "DimScreen=1", "PhoneRingSeconds=300",
                    "PhoneNumber2=", "PhoneNumber3=", "NotifyStart=0"], f"--get shows {shown}")
    check(all(" " <= c for c in result.stdout.replace("\n", "")), "no control characters")
    for told in ("VolSensi=150", "CryThresh=-4", "PhoneDelay=-3", "Language=7",
                 "PhoneNumber=0171\\x07 2", "PhoneRingSeconds=900", "PhoneNumber3=0171\\x07 3"):
        check(f"the store holds {told}, which --set does not take" in result.stderr,
              f"--get tells the stored {told}: {result.stderr!r}")
    again = run(*sum((["--set", line] for line in shown), []))
    check(again.returncode == 0, f"--set takes back what --get printed: {again.stderr!r}")
    result = run("--get")
    check(result.stdout.splitlines() == shown and "does not take" not in result.stderr,
          f"and --get prints it again: {result.stdout!r} {result.stderr!r}")

finish()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A device nobody watches, with real processes of the real program:
--start without a number ends with status 2 and the reason; --start with a
microphone that cannot be opened reports it, monitors all the same and
tries again until the microphone answers; --set writes all or nothing,
refuses each kind of bad value by name, reports a store it cannot write,
and works beside a running copy; --get prints what --set takes back; a
SIGTERM ends the program as a session end does; a microphone that stops
delivering and a terminal stopped with Ctrl+S hold back neither the calls
nor the end.
Every run has private XDG folders and its own system root for the lock."""
import os
import pty
import struct
import subprocess
import sys
import tempfile
import termios
import time
import wave

from apptest import check, wait_until, stop, write_silence, finish

program = sys.argv[1]


def terminated(process):
    """The status a SIGTERM ends `process` with, None when it runs on."""
    process.terminate()
    try:
        return process.wait(timeout=30)
    except subprocess.TimeoutExpired:
        return None


def read(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    # Where the lock and the window's socket live: ROOT/tmp/cradlecom-UID.
    rendezvous = os.path.join(folder, "tmp", f"cradlecom-{os.geteuid()}")
    temporary = os.path.join(folder, "t")
    os.mkdir(temporary, 0o700)
    config = os.path.join(folder, "config")
    store = os.path.join(config, "cradlecom", "registry")
    events = os.path.join(folder, "state", "cradlecom", "events.log")
    # No display at all: --set and --get must not need one; the window runs
    # offscreen only where -platform says so.
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env.update(CRADLECOM_SYSTEM_ROOT=folder, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=config,
               XDG_STATE_HOME=os.path.join(folder, "state"), TMPDIR=temporary,
               HOME=os.path.join(folder, "home"), LC_ALL="C.UTF-8")
    silence = os.path.join(folder, "silence.wav")
    write_silence(silence)

    def run(*arguments, **changes):
        return subprocess.run([program, *arguments], env=dict(env, **changes),
                              capture_output=True, text=True, timeout=60)

    def get():
        result = run("--get")
        check(result.returncode == 0, f"--get: status {result.returncode}: {result.stderr}")
        return result.stdout.splitlines()

    # Nothing stored yet: the defaults, and --get writes nothing.
    defaults = ["VolSensi=50", "VolThresh=50", "CryThresh=50", "PhoneNumber=", "PhoneDelay=1",
                "PhoneMaxCalls=10", "Language=0", "RecordNights=0", "RecordNightsMB=2000",
                "CryCheck=0", "DimScreen=1", "PhoneRingSeconds=45", "PhoneNumber2=",
                "PhoneNumber3=", "NotifyStart=0"]
    check(get() == defaults, f"--get without a store: {get()}")
    check(not os.path.exists(store), "--get wrote no store")

    # --start without a number, in each language: the reason, status 2, and
    # the process is gone (no window left running).
    for language, reason in (("0", "Bitte tragen Sie vorher eine gültige Telefonnummer ein !"),
                             ("1", "Please define a valid call number first !")):
        check(run("--set", "Language=" + language).returncode == 0, "Language stored")
        try:
            started = run("--start", "--input", silence, "--phone", "log",
                          "-platform", "offscreen")
            check(started.returncode == 2,
                  f"--start without a number: status {started.returncode}: {started.stderr}")
            check(f"Cradlecom: {reason}\n" in started.stderr,
                  f"--start without a number says why: {started.stderr!r}")
            check("monitoring not started: no number to call" in started.stderr,
                  f"and logs it: {started.stderr!r}")
        except subprocess.TimeoutExpired:
            check(False, "--start without a number left its window running")
    check(not os.listdir(temporary), f"left in TMPDIR: {os.listdir(temporary)}")

    # Every kind of bad value, each beside a good one: named with the reason,
    # status 2, and nothing written, neither to a missing store nor to one
    # that exists.
    bad_values = [
        ("VolSensi=101", "a percentage"),
        ("VolThresh=-1", "a percentage"),
        ("CryThresh=5O", "a percentage"),
        ("CryThresh=", "a percentage"),
        ("PhoneDelay=-1", "digits only"),
        ("PhoneDelay=+5", "digits only"),
        ("PhoneMaxCalls=2147483648", "digits only"),
        ("PhoneMaxCalls=1 0", "digits only"),
        ("Language=2", "0 (German) or 1 (English)"),
        ("PhoneNumber=-4930123", "not a call number"),
        ("PhoneNumber=0171 CALL ME", "not a call number"),
        ("PhoneNumber=" + "1" * 25, "at most 24 characters"),
        ("PhoneNumber3=0171 CALL ME", "not a call number"),
        ("PhoneRingSeconds=9", "from 10 to 300"),
        ("Volume=3", "no such setting"),
        ("volsensi=30", "no such setting"),
        ("VolSensi", "not NAME=VALUE"),
    ]
    os.remove(store)
    for setting, reason in bad_values:
        for before in (None, b"present"):
            if before is not None and read(store) is None:
                check(run("--set", "VolSensi=35").returncode == 0, "a store to keep")
            before = read(store)
            result = run("--set", "PhoneNumber=0301234", "--set", setting, "--set", "Language=1")
            check(result.returncode == 2, f"--set {setting}: status {result.returncode}")
            check(f"--set {setting}: " in result.stderr and reason in result.stderr,
                  f"--set {setting}: told {result.stderr!r}")
            check(read(store) == before, f"--set {setting} wrote something")
        os.remove(store)

    # Round trip: what --get prints, --set takes back, and --get prints it
    # again; the empty number too.
    chosen = ["VolSensi=35", "VolThresh=0", "CryThresh=100", "PhoneNumber=+49 (30) 123-45#",
              "PhoneDelay=2147483647", "PhoneMaxCalls=0", "Language=1", "RecordNights=1",
              "RecordNightsMB=500", "CryCheck=0", "DimScreen=1", "PhoneRingSeconds=300",
              "PhoneNumber2=sip:nurse@example.org", "PhoneNumber3=", "NotifyStart=1"]
    result = run(*sum((["--set", line] for line in chosen), []))
    check(result.returncode == 0, f"--set all: status {result.returncode}: {result.stderr}")
    check("settings saved" in result.stderr, f"--set logs the save: {result.stderr!r}")
    check("--set PhoneMaxCalls=0: 0 means that no call is ever placed" in result.stderr,
          f"--set warns that 0 calls means none: {result.stderr!r}")
    check("settings saved" in (read(events) or b"").decode(), "the save is in the event log")
    printed = get()
    check(printed == chosen, f"--get after --set: {printed}")
    os.remove(store)
    again = run(*sum((["--set", line] for line in printed), []))
    check(again.returncode == 0, f"--set from --get: status {again.returncode}: {again.stderr}")
    check(get() == chosen, f"--get after the round trip: {get()}")
    check(run("--set", "PhoneNumber=").returncode == 0 and "PhoneNumber=" in get(),
          "the empty number is set and printed")
    check(run(*sum((["--set", line] for line in get()), [])).returncode == 0,
          "--set takes back the empty number")
    check(b"FirstUse" not in read(store), "--set writes no first-use marker")

    # A store that cannot be written: the reason and status 1, nothing else
    # touched. Here a file stands where the store's folder must be.
    blocked = os.path.join(folder, "blocked")
    os.makedirs(blocked)
    with open(os.path.join(blocked, "cradlecom"), "w") as f:
        f.write("keep")
    result = run("--set", "VolSensi=40", XDG_CONFIG_HOME=blocked)
    check(result.returncode == 1, f"unwritable store: status {result.returncode}")
    check("settings not saved: folder cannot be created" in result.stderr,
          f"unwritable store: told {result.stderr!r}")
    # A folder in the store's place cannot be read: refused before writing.
    os.makedirs(os.path.join(blocked, "other", "cradlecom", "registry"))
    for arguments in (["--set", "VolSensi=40"], ["--get"]):
        result = run(*arguments, XDG_CONFIG_HOME=os.path.join(blocked, "other"))
        check(result.returncode == 1 and "cannot read the settings in" in result.stderr
              and "not a file in the settings file's place" in result.stderr,
              f"{arguments} on a folder: {result.returncode} {result.stderr!r}")
    with open(os.path.join(blocked, "cradlecom")) as f:
        check(f.read() == "keep", "the file in the folder's place stays")

    # Beside a running copy: --set and --get work and need no lock, and the
    # copy runs on (what it then takes from the store: shared_store.py).
    check(run("--set", "PhoneNumber=0301234").returncode == 0, "a number for the running copy")
    running = subprocess.Popen([program, "--input", silence, "--loop", "--phone", "log",
                                "-platform", "offscreen"], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        up = wait_until(lambda: any(name.endswith(".socket") for name in os.listdir(rendezvous)),
                        60)
        check(up, "the running copy came up")
        result = run("--set", "VolSensi=65", "--set", "PhoneNumber=0171 2345")
        check(result.returncode == 0, f"--set beside a copy: {result.returncode} {result.stderr}")
        printed = get()
        check("VolSensi=65" in printed and "PhoneNumber=0171 2345" in printed,
              f"--get beside a copy: {printed}")
        check(running.poll() is None, "the running copy runs on")
    finally:
        stop(running)

    # No way to call: no --phone, and no system bus to find a modem on. Said
    # once, loudly, with how to choose a way; calls only logged as asked for
    # (--phone log, below) say nothing of it.
    log = open(os.path.join(folder, "noroute.err"), "w+")
    noroute = subprocess.Popen([program, "--start", "--input", silence, "--loop",
                                "-platform", "offscreen"],
                               env=dict(env, DBUS_SYSTEM_BUS_ADDRESS="unix:path=" +
                                        os.path.join(folder, "no-bus")),
                               stdout=subprocess.DEVNULL, stderr=log)
    try:
        def said():
            log.seek(0)
            return log.read()
        check(wait_until(lambda: "Cradlecom: no way to place a call" in said(), 60),
              f"--start without a way to call says so: {said()!r}")
        time.sleep(2)
        text = said()
        check(text.count("Cradlecom: no way to place a call") == 1 and
              text.count("warning: no way to place a call") == 1 and
              "--phone command:PROGRAM" in text, f"said once, with the ways: {text!r}")
    finally:
        stop(noroute)
        log.close()

    # A microphone that cannot be opened: an ALSA device reading a file that
    # is not there yet. Told on standard error, monitoring on all the same
    # (a box would have held the start back), tried again at every restart,
    # and heard once the file appears.
    microphone = os.path.join(folder, "microphone.raw")
    alsa = os.path.join(folder, "asound.conf")
    with open(alsa, "w") as f:
        f.write('pcm.null { type null }\n'
                'pcm.cc_mic {\n type file\n slave.pcm "null"\n file "/dev/null"\n'
                f' infile "{microphone}"\n format "raw"\n}}\n')
    log = open(os.path.join(folder, "unattended.err"), "w+")
    mic = subprocess.Popen([program, "--start", "--input", "alsa:cc_mic", "--phone", "log",
                            "-platform", "offscreen"], env=dict(env, ALSA_CONFIG_PATH=alsa),
                           stdout=subprocess.DEVNULL, stderr=log)

    def told():
        log.seek(0)
        return log.read()

    try:
        check(wait_until(lambda: "monitoring on" in told(), 60),
              f"monitoring on without a microphone: {told()!r}")
        text = told()
        check("Cradlecom: Cannot initialize the recorder device !" in text,
              f"message 1001 on standard error: {text!r}")
        check("error: microphone failed: " in text, f"the failure in the log: {text!r}")
        check(wait_until(lambda: told().count("for reading failed") >= 2, 60),
              f"the restart tried again: {told()!r}")
        with open(microphone, "wb") as f:
            f.write(b"\0" * 11025 * 2 * 120)
        check(wait_until(lambda: "microphone recovered" in told(), 60),
              f"the microphone was heard once it answered: {told()!r}")
        check(mic.poll() is None, "the program runs on")
        check("no way to place a call" not in told(), f"--phone log is not warned of: {told()!r}")
        with open(events) as f:
            logged = f.read()
        check("microphone failed" in logged and "microphone recovered" in logged,
              "the event log's file has both")
        # A service manager's stop is a session end: the program ends
        # through its own window's end, and the log says so.
        status = terminated(mic)
        check(status == 0, f"SIGTERM ends the program with status 0, not {status}")
        check("info: program ended" in told(), f"the end is logged: {told()!r}")
    finally:
        stop(mic)
        log.close()
    check(not os.listdir(temporary), f"left in TMPDIR: {os.listdir(temporary)}")

    # A microphone that stops delivering: an ALSA device reading a FIFO that
    # gives one loud moment and then nothing, so that the capture thread
    # stays in its read when the call is due. The call is placed all the
    # same, the stall is a microphone failure, the microphone is heard again
    # once the FIFO delivers, and a SIGTERM still ends the program.
    fifo = os.path.join(folder, "microphone.fifo")
    os.mkfifo(fifo)
    with open(alsa, "w") as f:
        f.write('pcm.null { type null }\n'
                'pcm.cc_fifo {\n type file\n slave.pcm "null"\n file "/dev/null"\n'
                f' infile "{fifo}"\n format "raw"\n}}\n')
    check(run("--set", "CryThresh=50", "--set", "PhoneMaxCalls=3").returncode == 0,
          "calls allowed")
    # Held open for reading and writing: the FIFO never lacks a writer.
    feed = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    os.write(feed, struct.pack("<h", 30000) * 4096)
    log = open(os.path.join(folder, "stalled.err"), "w+")
    stalled = subprocess.Popen([program, "--start", "--input", "alsa:cc_fifo", "--phone", "log",
                                "-platform", "offscreen"], env=dict(env, ALSA_CONFIG_PATH=alsa),
                               stdout=subprocess.DEVNULL, stderr=log)
    try:
        check(wait_until(lambda: "call requested" in told(), 60),
              f"the call is placed while the microphone is stuck: {told()!r}")
        check(wait_until(lambda: "microphone failed: the device does not answer" in told(), 30),
              f"the stall is a microphone failure: {told()!r}")
        os.write(feed, b"\0" * 8192)
        check(wait_until(lambda: "microphone recovered" in told(), 30),
              f"heard again once the FIFO delivers: {told()!r}")
        status = terminated(stalled)
        check(status == 0, f"SIGTERM ends the program with status 0, not {status}")
    finally:
        stop(stalled)
        log.close()
        os.close(feed)

    # A terminal stopped with Ctrl+S while the child cries holds standard
    # output and standard error, yet the calls are placed (the event log's
    # file has them) and a SIGTERM still ends the program.
    check(run("--set", "PhoneDelay=0").returncode == 0, "no pause between calls")
    crying = os.path.join(folder, "crying.wav")
    with wave.open(crying, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(11025)
        out.writeframes(struct.pack("<hh", 30000, -30000) * 11025 * 5)
    master, terminal = pty.openpty()
    attributes = termios.tcgetattr(terminal)
    attributes[0] |= termios.IXON
    termios.tcsetattr(terminal, termios.TCSANOW, attributes)
    os.write(master, b"\x13")  # Ctrl+S
    time.sleep(0.5)
    before = os.path.getsize(events)

    def calls():
        with open(events, "rb") as f:
            return f.read()[before:].count(b"call requested")

    # Under AddressSanitizer the leak checker's summary at exit would wait
    # for the terminal as well.
    quiet = os.environ.get("LSAN_OPTIONS", "") + ":print_suppressions=0"
    held = subprocess.Popen([program, "--start", "--input", crying, "--loop", "--phone", "log",
                             "-platform", "offscreen"], env=dict(env, LSAN_OPTIONS=quiet),
                            stdout=terminal, stderr=terminal)
    os.close(terminal)
    try:
        check(wait_until(lambda: calls() >= 2, 90),
              f"calls placed behind a stopped terminal: {calls()}")
        status = terminated(held)
        check(status == 0, f"SIGTERM ends the program with status 0, not {status}")
    finally:
        stop(held)
        os.close(master)

    # A round through three numbers with a call command that answers only
    # the second (status 0): with PhoneMaxCalls=1 the round still goes on to
    # it, the third is never dialled, and the log tells the round in order.
    dialled = os.path.join(folder, "dialled")
    command = os.path.join(folder, "call-command")
    with open(command, "w") as f:
        f.write(f'#!/bin/sh\necho "$1" >> {dialled}\n[ "$1" = 222 ]\n')
    os.chmod(command, 0o755)
    check(run("--set", "PhoneNumber=111", "--set", "PhoneNumber2=222", "--set", "PhoneNumber3=333",
              "--set", "PhoneMaxCalls=1").returncode == 0, "three numbers stored")
    before = os.path.getsize(events)

    def round_lines():
        with open(events, encoding="utf-8") as f:
            f.seek(before)
            return [line.split(" ", 2)[-1].strip() for line in f if " call " in line]

    rounds = subprocess.Popen([program, "--start", "--input", crying, "--loop", "--phone",
                               "command:" + command, "-platform", "offscreen"], env=env,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        check(wait_until(lambda: "call limit reached (1)" in round_lines(), 60),
              f"one round counts as one call: {round_lines()}")
    finally:
        stop(rounds)
    check(read(dialled) == b"111\n222\n", f"dialled in turn, up to the answer: {read(dialled)!r}")
    expected = ["call requested: 111", "call failed: 111: exit status 1", "call requested: 222",
                "call placed: 222", "call answered: 222", "call ended: 222",
                "call limit reached (1)"]
    check(round_lines() == expected, f"the round's log: {round_lines()}")

finish()

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The parent hears when the monitor stops watching, with real processes of
the real program, a ModemManager mock on a private bus, a notify command,
an HTTP server on loopback and a service manager's socket: READY and the
watchdog's pings arrive, and stop while the program is stopped; the
heartbeat beats while all is well and stops within an interval of the
microphone going silent; 60 s later an SMS is made and sent through the
modem and the notify command gets the same text, once; both hear when the
microphone is back and when the program ends."""
import http.server
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time

from apptest import check, wait_until, stop, finish

program = sys.argv[1]
mock = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "phone",
                    "modemmanager_mock.py")
INTERVAL = 5
SILENT = "Cradlecom: the microphone has delivered no sound for 60 s."
BACK = "Cradlecom: the microphone delivers sound again."
ENDED = "Cradlecom: monitoring has ended, nobody is listening."
NUMBER = "+49 170 1234567"

mock_python = next((candidate for candidate in ("/usr/bin/python3", sys.executable)
                    if subprocess.run([candidate, "-c", "import dbusmock"],
                                      capture_output=True).returncode == 0), None)
if mock_python is None:
    print("SKIP: python3-dbusmock is not installed")
    sys.exit(77)


class Beats(http.server.BaseHTTPRequestHandler):
    times = []

    def do_GET(self):
        Beats.times.append(time.monotonic())
        self.send_response(200)
        self.end_headers()
        self.wfile.write(b"OK")

    def log_message(self, *arguments):
        pass


with tempfile.TemporaryDirectory() as folder:
    os.chmod(folder, 0o755)
    runtime = os.path.join(folder, "runtime")
    os.mkdir(runtime, 0o700)
    config = os.path.join(folder, "config")
    env = {key: value for key, value in os.environ.items()
           if key not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "NOTIFY_SOCKET")}
    env.update(CRADLECOM_SYSTEM_ROOT=folder, XDG_RUNTIME_DIR=runtime, XDG_CONFIG_HOME=config,
               XDG_STATE_HOME=os.path.join(folder, "state"), HOME=os.path.join(folder, "home"),
               LC_ALL="C.UTF-8")

    # The system bus: a daemon of our own with the mock on it.
    bus = subprocess.Popen(["dbus-daemon", "--session", "--print-address", "--nofork"],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    address = bus.stdout.readline().strip()
    env["DBUS_SYSTEM_BUS_ADDRESS"] = address
    modem = subprocess.Popen([mock_python, "-m", "dbusmock", "--system", "--template", mock],
                             env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def sent_sms():
        """The mock's list of the texts it sent, None while it is not there."""
        result = subprocess.run(
            ["dbus-send", f"--bus={address}", "--print-reply", "--dest=org.freedesktop.ModemManager1",
             "/org/freedesktop/ModemManager1", "org.freedesktop.DBus.Mock.GetSentMessages"],
            capture_output=True, text=True, timeout=10)
        if result.returncode != 0:
            return None
        return [line.strip()[len('string "'):-1] for line in result.stdout.splitlines()
                if line.strip().startswith('string "')]

    # The notify command writes each text as a line of its own.
    notified = os.path.join(folder, "notified.txt")
    notify = os.path.join(folder, "notify")
    with open(notify, "w") as f:
        f.write(f'#!/bin/sh\nprintf "%s\\n" "$1" >> "{notified}"\n')
    os.chmod(notify, 0o755)

    def notes():
        try:
            with open(notified) as f:
                return f.read().splitlines()
        except FileNotFoundError:
            return []

    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Beats)
    threading.Thread(target=server.serve_forever, daemon=True).start()

    # The service manager's end of NOTIFY_SOCKET.
    notify_socket = os.path.join(folder, "notify.socket")
    manager_end = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    manager_end.bind(notify_socket)
    told_manager = []

    def listen():
        while True:
            data = manager_end.recv(4096)
            told_manager.append((time.monotonic(), data.decode()))

    threading.Thread(target=listen, daemon=True).start()

    # The microphone: an ALSA device that reads a FIFO fed in real time.
    fifo = os.path.join(folder, "microphone.fifo")
    os.mkfifo(fifo)
    alsa = os.path.join(folder, "asound.conf")
    with open(alsa, "w") as f:
        f.write('pcm.null { type null }\n'
                'pcm.cc_fifo {\n type file\n slave.pcm "null"\n file "/dev/null"\n'
                f' infile "{fifo}"\n format "raw"\n}}\n')
    feed = os.open(fifo, os.O_RDWR | os.O_NONBLOCK)
    feeding = threading.Event()
    feeding.set()

    def feed_room():
        while True:
            if feeding.is_set():
                try:
                    os.write(feed, b"\0" * 2205 * 2)
                except BlockingIOError:
                    pass
            time.sleep(0.1)

    threading.Thread(target=feed_room, daemon=True).start()

    check(wait_until(lambda: sent_sms() == [], 30), "the mock is on the bus")
    settings = subprocess.run([program, "--set", f"PhoneNumber={NUMBER}", "--set", "Language=1"],
                              env=env, capture_output=True, text=True, timeout=60)
    check(settings.returncode == 0, f"--set: {settings.stderr}")
    log = open(os.path.join(folder, "watch.err"), "w+")
    monitor = subprocess.Popen(
        [program, "--start", "--input", "alsa:cc_fifo", "--phone", "modemmanager",
         "--notify", f"command:{notify}",
         "--heartbeat", f"http://127.0.0.1:{server.server_port}/ping",
         "--heartbeat-interval", str(INTERVAL), "-platform", "offscreen"],
        env=dict(env, ALSA_CONFIG_PATH=alsa, NOTIFY_SOCKET=notify_socket),
        stdout=subprocess.DEVNULL, stderr=log)

    def told():
        log.seek(0)
        return log.read()

    def pings():
        return [at for at, text in told_manager if "WATCHDOG=1" in text]

    try:
        check(wait_until(lambda: any("READY=1" in text for _, text in told_manager), 30),
              f"READY=1 reaches the socket: {told_manager}")
        check(wait_until(lambda: len(pings()) >= 3, 10), f"the watchdog is pinged: {told_manager}")
        # A program that does not run pings no more, and pings again when it does.
        monitor.send_signal(19)  # SIGSTOP
        time.sleep(0.5)
        stopped_at = time.monotonic()
        time.sleep(3)
        check(not [at for at in pings() if at > stopped_at],
              "no ping while the program is stopped")
        monitor.send_signal(18)  # SIGCONT
        resumed_at = time.monotonic()
        check(wait_until(lambda: [at for at in pings() if at > resumed_at], 5),
              "pings again once it runs")

        check(wait_until(lambda: len(Beats.times) >= 2, 3 * INTERVAL),
              f"heartbeats while all is well: {len(Beats.times)}")
        feeding.clear()
        silent_at = time.monotonic()
        check(wait_until(lambda: SILENT in notes(), 90),
              f"the notify command hears of the silence within 90 s: {notes()}")
        heard_at = time.monotonic()
        beats_after = [at - silent_at for at in Beats.times if at > silent_at]
        check(not [after for after in beats_after if after > INTERVAL],
              f"no heartbeat more than an interval after the silence: {beats_after}")
        check(wait_until(lambda: (sent_sms() or []) == [f"{NUMBER}: {SILENT}"], 10),
              f"the SMS was made and sent: {sent_sms()}")
        check(heard_at - silent_at >= 55, f"not before 60 s: {heard_at - silent_at:.1f} s")

        feeding.set()
        back_at = time.monotonic()
        check(wait_until(lambda: BACK in notes(), 30), f"the notify command hears it is back: {notes()}")
        check(wait_until(lambda: [at for at in Beats.times if at > back_at], 30),
              "heartbeats again once the microphone delivers")
        check(notes().count(SILENT) == 1, f"the silence is told once: {notes()}")

        monitor.terminate()
        status = monitor.wait(timeout=30)
        check(status == 0, f"SIGTERM ends the program with status 0, not {status}")
        check(ENDED in notes(), f"the program's end is told: {notes()}")
        check(f"{NUMBER}: {ENDED}" in (sent_sms() or []), f"and sent by SMS: {sent_sms()}")
        text = told()
        check("message (microphone silent) sent: SMS to " + NUMBER in text,
              f"the SMS's outcome in the log: {text!r}")
        check("message (monitoring ended) sent: notify command " in text,
              f"the notify command's outcome in the log: {text!r}")
    finally:
        stop(monitor)
        log.close()
        stop(modem)
        stop(bus)
        server.shutdown()
        os.close(feed)
finish()

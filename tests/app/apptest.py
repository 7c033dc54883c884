# SPDX-License-Identifier: GPL-3.0-or-later
"""What the tests of the real program share: failures gathered rather than
stopping at the first, bounded waits, a process stopped for good, a second
of silence to listen to."""
import subprocess
import sys
import time
import wave

failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def wait_until(condition, seconds):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.05)
    return condition()


def stop(process):
    """Ends `process`: politely, then after ten seconds for good."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


def met_unseen_copy(result):
    """Whether a start beside a copy that runs offscreen found it: it says
    that nobody can see that copy, and how to see it, and fails."""
    return result.returncode == 1 and b"systemctl --user stop cradlecom" in result.stderr


def write_silence(path):
    """One second of silence at the microphone's rate, as a WAV file."""
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(2)
        out.setframerate(11025)
        out.writeframes(b"\0\0" * 11025)


def finish():
    for failure in failures:
        print("FAIL:", failure)
    sys.exit(1 if failures else 0)

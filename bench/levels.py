#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""What the converter of phone rates does to the level: replays the real
recordings (data/*.flac and, when present, ../shared/audio/*.wav) brought
with sox to 44.1 and 48 kHz stereo, as a phone records, and compares every
tick's level and every call with a reference:

- sox's own conversion of the 44.1 kHz file to 11025 Hz, which the replay
  reads sample for sample (a careful band-limited converter);
- with OLD-REPLAY, another build's replay of the same 44.1 and 48 kHz files
  (an earlier converter), which is also compared with sox's conversion.

    bench/levels.py NEW-REPLAY [OLD-REPLAY]

Levels are on the program's scale (0 to 1); a call that moved is counted
with the ticks it moved by.
"""
import csv
import glob
import os
import statistics
import subprocess
import sys
import tempfile

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
shared = os.environ.get("SHARED_AUDIO", os.path.join(root, "..", "shared", "audio"))
new, old = sys.argv[1], (sys.argv[2] if len(sys.argv) > 2 else None)
recordings = sorted(glob.glob(os.path.join(root, "data", "*.flac")))
recordings += sorted(glob.glob(os.path.join(shared, "*.wav")))
settings = {
    "default": ["--set", "PhoneNumber=1"],
    "sensitive": ["--set", "PhoneNumber=1", "--set", "VolSensi=90", "--set", "VolThresh=30",
                  "--set", "CryThresh=20", "--set", "PhoneDelay=0"],
}


def trace(replay, recording, arguments, folder):
    path = os.path.join(folder, "trace.csv")
    subprocess.run([replay, recording, "--trace", path, *arguments], check=True,
                   stdout=subprocess.DEVNULL)
    with open(path, newline="") as f:
        rows = list(csv.DictReader(f))
    levels = [float(r["level"]) for r in rows]
    calls = [int(r["tick"]) for i, r in enumerate(rows)
             if int(r["callsMade"]) > (int(rows[i - 1]["callsMade"]) if i else 0)]
    return levels, calls


def compare(name, pairs):
    differences, calls, moved, lost = [], 0, [], 0
    for (levels, made), (reference, expected) in pairs:
        differences += [a - b for a, b in zip(levels, reference) if a > 0 or b > 0]
        calls += len(expected)
        lost += abs(len(made) - len(expected))
        moved += [a - b for a, b in zip(made, expected) if a != b]
    magnitudes = sorted(abs(d) for d in differences)
    print(f"{name}: {len(differences)} ticks with sound, level difference mean "
          f"{statistics.mean(differences):+.4f}, median {magnitudes[len(magnitudes) // 2]:.4f}, "
          f"99 % within {magnitudes[len(magnitudes) * 99 // 100]:.4f}, largest {magnitudes[-1]:.4f}; "
          f"{calls} calls, {len(moved)} moved (by {sorted(set(moved)) or 0} ticks), "
          f"{lost} more or fewer")


with tempfile.TemporaryDirectory() as folder:
    against_sox, against_old, old_against_sox = {}, {}, {}
    for recording in recordings:
        base = os.path.join(folder, os.path.splitext(os.path.basename(recording))[0])
        for rate in (44100, 48000):
            subprocess.run(["sox", "-D", recording, "-r", str(rate), "-c", "2", "-b", "16",
                            f"{base}-{rate}.wav"], check=True, stderr=subprocess.DEVNULL)
        subprocess.run(["sox", "-D", f"{base}-44100.wav", "-r", "11025", "-c", "1", "-b", "16",
                        f"{base}-11025.wav"], check=True, stderr=subprocess.DEVNULL)
        for setting, arguments in settings.items():
            reference = trace(new, f"{base}-11025.wav", arguments, folder)
            for rate in (44100, 48000):
                mine = trace(new, f"{base}-{rate}.wav", arguments, folder)
                against_sox.setdefault((rate, setting), []).append((mine, reference))
                if old:
                    earlier = trace(old, f"{base}-{rate}.wav", arguments, folder)
                    against_old.setdefault((rate, setting), []).append((mine, earlier))
                    old_against_sox.setdefault((rate, setting), []).append((earlier, reference))
    print(f"{len(recordings)} recordings")
    for (rate, setting), pairs in against_sox.items():
        compare(f"{rate} Hz against sox's 11025 Hz, {setting} settings", pairs)
    for (rate, setting), pairs in against_old.items():
        compare(f"{rate} Hz against {old}, {setting} settings", pairs)
    for (rate, setting), pairs in old_against_sox.items():
        compare(f"{old} at {rate} Hz against sox's 11025 Hz, {setting} settings", pairs)

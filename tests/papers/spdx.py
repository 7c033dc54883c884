#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every source file of the project says under which licence it stands, in
an SPDX line near its top; a new file without one fails here."""
import os
import sys

top = sys.argv[1]
kinds = (".cpp", ".h", ".py", ".sh", ".cmake", ".supp", ".scd", ".in", ".desktop", ".xml",
         ".svg")
named = ("CMakeLists.txt", "run")
missing = []
for folder in ("src", "tests", "tools", "bench", "dist", "cmake", ".ci", "."):
    root = os.path.join(top, folder)
    for path, dirs, files in os.walk(root):
        if folder == ".":
            dirs[:] = []
        for name in files:
            if not (name.endswith(kinds) or name in named):
                continue
            full = os.path.join(path, name)
            with open(full, encoding="utf-8", errors="replace") as f:
                head = "".join(f.readline() for _ in range(3))
            if "SPDX-License-Identifier: GPL-3.0-or-later" not in head:
                missing.append(os.path.relpath(full, top))
for name in sorted(set(missing)):
    print("no SPDX line in the first three lines:", name)
sys.exit(1 if missing else 0)

#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Every manual page names the options its program's --help names, no more
and no fewer: man_options.py PROGRAM PAGE.scd [PROGRAM PAGE.scd ...]."""
import re
import subprocess
import sys

OPTION = re.compile(r"-{1,2}[a-z][a-z-]*")


def help_options(program):
    text = subprocess.run([program, "--help"], capture_output=True, text=True,
                          timeout=30).stdout
    found = set()
    for line in text.splitlines():
        # The usage line's [--option ...] and each option line's first column.
        found.update(re.findall(r"\[(-{1,2}[a-z][a-z-]*)", line))
        if line.lstrip().startswith("-"):
            found.update(OPTION.findall(re.split(r"\s{2,}", line.strip())[0]))
    return found


def page_options(page):
    found = set()
    section = None
    for line in open(page, encoding="utf-8"):
        if line.startswith("# "):
            section = line[2:].strip()
        elif section == "OPTIONS" and line.startswith("*-"):
            found.update(re.findall(r"\*(-{1,2}[a-z][a-z-]*)\*", line))
    return found


failures = []
arguments = sys.argv[1:]
for program, page in zip(arguments[0::2], arguments[1::2]):
    told, written = help_options(program), page_options(page)
    if not told:
        failures.append(f"{program} --help names no option")
    for name in sorted(told - written):
        failures.append(f"{page} lacks {name}, which {program} --help names")
    for name in sorted(written - told):
        failures.append(f"{page} names {name}, which {program} --help does not")
for failure in failures:
    print("FAIL:", failure)
sys.exit(1 if failures else 0)

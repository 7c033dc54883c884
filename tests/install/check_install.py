#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks what `cmake --install` and `cpack -G DEB` make of the build.

    check_install.py tree|validators|bundled|deb BUILD_DIR SOURCE_DIR VERSION

tree        the installed tree holds exactly the expected files, none of them
            points back into the build or source folder, and every place that
            names the release names the same version
validators  desktop-file-validate, appstreamcli, man and systemd-analyze
            accept what is installed
bundled     the installed program finds its bundled recording by name
deb         the .deb passes lintian without errors, depends on what the
            program needs, and its programs run from a scratch root without
            a display
"""

import gzip
import os
import re
import subprocess
import sys
import tempfile

APP_ID = "de.veltrano.Cradlecom"
EXPECTED = sorted(
    [
        "bin/cradlecom",
        "bin/cradlecom-replay",
        f"share/applications/{APP_ID}.desktop",
        f"share/metainfo/{APP_ID}.metainfo.xml",
        f"share/icons/hicolor/scalable/apps/{APP_ID}.svg",
        "share/man/man1/cradlecom.1.gz",
        "share/man/man1/cradlecom-replay.1.gz",
        "share/cradlecom/nursery.flac",
        f"share/cradlecom/autostart/{APP_ID}.desktop",
        "lib/systemd/user/cradlecom.service",
        "share/doc/cradlecom/copyright",
        "share/doc/cradlecom/changelog.gz",
    ]
    + [f"share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png" for s in (16, 32, 48, 64, 128, 256)]
)

failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text, file=sys.stderr)


def run(command, timeout=120, **kwargs):
    return subprocess.run(
        command, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, timeout=timeout, **kwargs
    )


def private_env(home):
    """The environment of a run that touches nothing of the user's."""
    env = dict(os.environ)
    for name in ("DISPLAY", "WAYLAND_DISPLAY"):
        env.pop(name, None)
    for name in ("XDG_CONFIG_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "TMPDIR",
                 "CRADLECOM_SYSTEM_ROOT"):
        env[name] = home
    env["LC_ALL"] = "C.UTF-8"
    return env


def install(build, prefix):
    result = run(["cmake", "--install", build, "--prefix", prefix])
    if result.returncode != 0:
        sys.exit("cmake --install failed:\n" + result.stdout + result.stderr)


def files_under(root):
    found = []
    for folder, _, names in os.walk(root):
        for name in names:
            found.append(os.path.relpath(os.path.join(folder, name), root))
    return sorted(found)


def is_elf(path):
    with open(path, "rb") as f:
        return f.read(4) == b"\x7fELF"


def check_tree(build, source, version, prefix):
    found = files_under(prefix)
    for path in sorted(set(EXPECTED) - set(found)):
        fail(f"not installed: {path}")
    for path in sorted(set(found) - set(EXPECTED)):
        fail(f"installed but not expected: {path}")

    for path in found:
        full = os.path.join(prefix, path)
        if is_elf(full):
            # Debug information may name the sources; the loader must not
            # be sent into the build folder.
            dynamic = run(["readelf", "-d", full]).stdout
            if "RPATH" in dynamic or "RUNPATH" in dynamic:
                fail(f"{path} carries a library search path")
            continue
        data = open(full, "rb").read()
        if path.endswith(".gz"):
            data = gzip.decompress(data)
        for folder in (build, source):
            if os.path.realpath(folder).encode() in data:
                fail(f"{path} names {folder}")

    unit = open(os.path.join(prefix, "lib/systemd/user/cradlecom.service")).read()
    if f"ExecStart={prefix}/bin/cradlecom --start -platform offscreen" not in unit:
        fail("the user unit does not start the installed program:\n" + unit)

    metainfo = open(os.path.join(prefix, f"share/metainfo/{APP_ID}.metainfo.xml")).read()
    first_release = re.search(r'<release version="([^"]+)" date="([^"]+)"', metainfo)
    if not first_release or first_release.group(1) != version:
        fail(f"the metainfo's latest release is not {version}")
    changelog = gzip.decompress(
        open(os.path.join(prefix, "share/doc/cradlecom/changelog.gz"), "rb").read()
    ).decode()
    if not changelog.startswith(f"cradlecom ({version}) "):
        fail(f"the Debian changelog does not start with {version}")
    changes = open(os.path.join(source, "CHANGELOG.md")).read()
    if not re.search(rf"^## \[?{re.escape(version)}\]? - {first_release.group(2)}$", changes, re.M):
        fail(f"CHANGELOG.md has no entry for {version} dated {first_release.group(2)}")
    desktop = open(os.path.join(prefix, f"share/applications/{APP_ID}.desktop")).read()
    if f"Icon={APP_ID}\n" not in desktop or f'<launchable type="desktop-id">{APP_ID}.desktop<' not in metainfo:
        fail("the desktop file and the metainfo do not name the application id")


def check_validators(prefix, home):
    env = private_env(home)
    for desktop in (os.path.join(prefix, f"share/applications/{APP_ID}.desktop"),
                    os.path.join(prefix, f"share/cradlecom/autostart/{APP_ID}.desktop")):
        result = run(["desktop-file-validate", desktop], env=env)
        if result.returncode != 0 or result.stdout.strip() or result.stderr.strip():
            fail("desktop-file-validate:\n" + result.stdout + result.stderr)

    metainfo = os.path.join(prefix, f"share/metainfo/{APP_ID}.metainfo.xml")
    result = run(["appstreamcli", "validate", "--no-net", "--no-color", metainfo], env=env)
    if result.returncode != 0:
        fail("appstreamcli validate:\n" + result.stdout + result.stderr)

    for page in ("cradlecom.1.gz", "cradlecom-replay.1.gz"):
        path = os.path.join(prefix, "share/man/man1", page)
        result = run(["man", "--warnings", "-l", path], env=dict(env, MANWIDTH="80"))
        if result.returncode != 0 or result.stderr.strip():
            fail(f"man --warnings {page}:\n" + result.stderr)
        if "REPORTING BUGS" not in result.stdout:
            fail(f"{page} renders without its sections")

    # The unit's Documentation= names man:cradlecom(1), which systemd looks up.
    unit = os.path.join(prefix, "lib/systemd/user/cradlecom.service")
    result = run(
        ["systemd-analyze", "--user", "verify", unit],
        env=dict(env, MANPATH=os.path.join(prefix, "share/man")),
    )
    if result.returncode != 0 or result.stdout.strip() or result.stderr.strip():
        fail("systemd-analyze verify:\n" + result.stdout + result.stderr)


def check_bundled(prefix, home):
    env = private_env(home)
    program = os.path.join(prefix, "bin/cradlecom")
    shots = os.path.join(home, "shots")
    os.mkdir(shots)
    # From a folder without the recording, so only the bundled copy can be found.
    result = run(
        [program, "--input", "nursery.flac", "--screenshots", shots, "-platform", "offscreen"],
        cwd=home,
        env=env,
    )
    if result.returncode != 0 or not os.path.exists(os.path.join(shots, "main-de.png")):
        fail(f"the bundled recording was not used (status {result.returncode}):\n" + result.stderr)
    result = run([program, "--input", "no-such-recording.flac", "-platform", "offscreen"], cwd=home, env=env)
    if result.returncode != 2 or "no-such-recording.flac" not in result.stderr:
        fail(f"an unknown recording was not refused (status {result.returncode}):\n" + result.stderr)


def check_deb(build, version, work):
    result = run(
        ["cpack", "-G", "DEB", "-B", work, "--config", os.path.join(build, "CPackConfig.cmake")],
        timeout=240,
        cwd=build,
    )
    debs = [n for n in os.listdir(work) if n.endswith(".deb")]
    if result.returncode != 0 or len(debs) != 1:
        sys.exit("cpack failed:\n" + result.stdout + result.stderr)
    deb = os.path.join(work, debs[0])

    # lintian leaves a file of its own in TMPDIR: let it be ours.
    result = run(["lintian", "--display-level", ">=pedantic", deb], timeout=240,
                 env=dict(os.environ, TMPDIR=work))
    print("lintian:\n" + result.stdout)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    if errors or result.returncode != 0:
        fail("lintian reports errors:\n" + "\n".join(errors) + result.stderr)

    field = lambda name: run(["dpkg-deb", "-f", deb, name]).stdout.strip()
    if field("Version") != version:
        fail(f"the package's version is {field('Version')!r}")
    depends = field("Depends")
    for needed in ("libqt6widgets6", "libasound2", "libsndfile1", "libsamplerate0", "libqt6dbus6",
                   "qt6-translations-l10n"):
        if not re.search(rf"(^|, ){re.escape(needed)}( |,|$)", depends):
            fail(f"Depends lacks {needed}: {depends}")
    if "modemmanager" not in field("Recommends"):
        fail("modemmanager is not recommended")
    for name in ("Maintainer", "Section", "Description"):
        if not field(name):
            fail(f"the package has no {name}")

    root = os.path.join(work, "root")
    result = run(["dpkg-deb", "-x", deb, root])
    if result.returncode != 0:
        sys.exit("dpkg-deb -x failed:\n" + result.stderr)
    packaged = files_under(os.path.join(root, "usr"))
    if packaged != EXPECTED:
        fail(f"the package holds {packaged}, expected {EXPECTED}")
    unit = open(os.path.join(root, "usr/lib/systemd/user/cradlecom.service")).read()
    if "ExecStart=/usr/bin/cradlecom --start -platform offscreen" not in unit:
        fail("the packaged unit does not start /usr/bin/cradlecom")

    home = os.path.join(work, "home")
    os.mkdir(home)
    env = private_env(home)
    env.pop("QT_QPA_PLATFORM", None)
    program = os.path.join(root, "usr/bin/cradlecom")
    result = run([program, "--version"], env=env, cwd=home, timeout=30)
    if result.returncode != 0 or version not in result.stdout:
        fail(f"--version from the scratch root (status {result.returncode}):\n{result.stdout}{result.stderr}")
    result = run([program, "--help"], env=env, cwd=home, timeout=30)
    if result.returncode != 0 or "--input" not in result.stdout:
        fail(f"--help from the scratch root (status {result.returncode}):\n{result.stdout}{result.stderr}")


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("tree", "validators", "bundled", "deb"):
        sys.exit(__doc__)
    check, build, source, version = sys.argv[1:]
    with tempfile.TemporaryDirectory(prefix="cradlecom-install-") as work:
        if check == "deb":
            check_deb(build, version, work)
        else:
            prefix = os.path.join(work, "prefix")
            home = os.path.join(work, "home")
            os.mkdir(home)
            install(build, prefix)
            if check == "tree":
                check_tree(build, source, version, prefix)
            elif check == "validators":
                check_validators(prefix, home)
            else:
                check_bundled(prefix, home)
    if failures:
        sys.exit(f"{len(failures)} check(s) failed")
    print("all checks passed")


main()

"""Installs, uses, upgrades and removes a Windows installer under Wine, in a
prefix of its own, as an administrator would with /S.

usage: installer_wine_test.py win64|win32|win32_on_win64

  win64           the 64-bit installer of the win64 build, 64-bit prefix
  win32           the shipped 32-bit installer, 32-bit prefix (WINEARCH=win32)
  win32_on_win64  the shipped 32-bit installer on 64-bit Windows: the 32-bit
                  program files folder and the 32-bit registry view; and an
                  administrator's own ini in the folder before the first
                  install, which the installer and the uninstaller keep

Steps: silent install; files, shortcut and registration; config.cfg placed
from the installed "Tavisk Sleeper.ini"; the installed Korwipe.exe erases a
file; an edited ini and a second install over the first (programs replaced,
ini kept and placed again); silent uninstall as the registration says; then,
after a restart of the prefix (which deletes what was left for a restart),
nothing of the installer remains. The 32-bit cases are skipped where the
kernel cannot run 32-bit programs.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

import artefact
import wine
from checks import Checks
from wine import WinePrefix

WINE32 = "/usr/lib/wine/wine"
UNINSTALL = r"Microsoft\Windows\CurrentVersion\Uninstall\KorvanelOstrel"
SHORTCUT = "ProgramData/Microsoft/Windows/Start Menu/Programs/Korvanel Ostrel Presentation.lnk"
INI = "Tavisk Sleeper.ini"
UNINSTALLER = "ostrel-uninstall.exe"
PROGRAMS = {"Korwipe.exe": "wipe/Korwipe.exe", "presentation.exe": "presentation/presentation.exe",
            "cfgsetup.exe": "setup/cfgsetup.exe"}

# kind: the installer; arch: the prefix (ctest sets it, with the loader, for
# the test: see tests/package/CMakeLists.txt); files: the program files
# folder; key: the registration, relative to HKLM. foreign: a file of another
# product shares the company's ProgramData folder at uninstall time (it must
# stay, and the folder with it). preseed: the administrator put an ini of
# their own into the folder before the first install (the installer keeps it
# and so does the uninstaller).
CASES = {
    "win64": dict(kind="setup64", arch="win64", files="Program Files",
                  key="Software\\" + UNINSTALL, foreign=True, preseed=None),
    "win32": dict(kind="setup32", arch="win32", files="Program Files",
                  key="Software\\" + UNINSTALL, foreign=False, preseed=None),
    "win32_on_win64": dict(kind="setup32", arch="win64", files="Program Files (x86)",
                           key="Software\\Wow6432Node\\" + UNINSTALL, foreign=False, preseed=b"\x04"),
}
# The same installers on a machine that is not clean (see conditions()).
CASES["win64_conditions"] = dict(CASES["win64"], conditions=True)
CASES["win32_conditions"] = dict(CASES["win32"], conditions=True)


class Prefix:
    """A private prefix (WinePrefix: a copy of the run's template), of the
    architecture and with the loader that ctest set for this test."""

    def __init__(self):
        self.wp = WinePrefix("kor-pkg")
        self.root, self.prefix, self.scratch = self.wp.root, self.wp.prefix, self.wp.scratch
        self.drive_c = os.path.join(self.prefix, "drive_c")

    def env(self):
        # No desktop menu entries in the user's home for the Start menu shortcut.
        return self.wp.env({"WINEDLLOVERRIDES": "mscoree,mshtml=;winemenubuilder.exe=d"})

    def run(self, args, timeout=180):
        """Runs a program of the prefix to its end and waits until the prefix
        is idle; returns the exit code and what it wrote (both streams, so
        that Wine's own complaints show in a failure)."""
        rc, out = self.start(args, timeout)
        self.wait_idle()
        return rc, out

    def start(self, args, timeout=180):
        """Runs a program to its own end only, while other programs of the
        prefix may go on. Its output goes to a file, not a pipe: services
        the prefix starts meanwhile inherit the handles and outlive it."""
        with tempfile.TemporaryFile() as out:
            p = subprocess.run([wine.WINE] + args, cwd=self.scratch, env=self.env(),
                               stdout=out, stderr=subprocess.STDOUT, timeout=timeout)
            out.seek(0)
            return p.returncode, out.read().decode("latin-1")

    def wait_idle(self):
        """Every process of the prefix has ended and the server has saved the
        registry (it does so when it exits)."""
        self.wp.wait_idle(timeout=240)

    def close(self):
        self.wp.close()


def files_of(top):
    """Every file and folder under top, relative, as a set."""
    found = set()
    for folder, dirs, files in os.walk(top):
        for name in dirs + files:
            found.add(os.path.relpath(os.path.join(folder, name), top))
    return found


def registry(prefix, key):
    """The values of one HKLM key from the prefix's system.reg (None when the
    key is absent): strings as str, dwords as int."""
    header = "[" + key.replace("\\", "\\\\") + "]"
    lines = open(os.path.join(prefix, "system.reg"), encoding="latin-1").read().split("\n")
    for i, line in enumerate(lines):
        if line.split("] ")[0] + "]" == header:
            values = {}
            for entry in lines[i + 1:]:
                if not entry:
                    break
                m = re.match(r'"((?:[^"\\]|\\.)*)"=(?:"((?:[^"\\]|\\.)*)"|dword:([0-9a-f]{8}))$', entry)
                if m:
                    unescape = lambda s: re.sub(r"\\(.)", r"\1", s)
                    values[unescape(m.group(1))] = (unescape(m.group(2)) if m.group(2) is not None
                                                    else int(m.group(3), 16))
            return values
    return None


def mentions_product(prefix):
    """Registry keys of the prefix that still name the product."""
    found = []
    for hive in ("system.reg", "user.reg"):
        for line in open(os.path.join(prefix, hive), encoding="latin-1"):
            if line.startswith("[") and "Korvanel" in line:
                found.append(f"{hive}: {line.split(']')[0]}]")
    return found


def check_installed(p, case, version, ini_bytes):
    program_files, key = case["files"], case["key"]
    folder = os.path.join(p.drive_c, program_files, "Korvanel", "Ostrel")
    c.require(f"no folder {folder}", os.path.isdir(folder))
    present = set(os.listdir(folder))
    c.require(f"install folder holds {sorted(present)}", present == set(PROGRAMS) | {INI, UNINSTALLER})
    for name, relative in PROGRAMS.items():
        same = open(os.path.join(folder, name), "rb").read() == \
            open(os.path.join(artefact.BUILD, relative), "rb").read()
        c.require(f"installed {name} is not the build's {relative}", same)
    c.require(f"installed {INI} is not {ini_bytes!r}", open(os.path.join(folder, INI), "rb").read() == ini_bytes)

    # cfgsetup ran from the install folder: it placed that folder's ini.
    placed = os.path.join(p.drive_c, "ProgramData", "Korvanel", "Ostrel", "config.cfg")
    c.require("config.cfg not placed: cfgsetup did not run", os.path.isfile(placed))
    c.require(f"config.cfg holds {open(placed, 'rb').read()!r}, not the installed ini's {ini_bytes!r}",
              open(placed, "rb").read() == ini_bytes)

    lnk = os.path.join(p.drive_c, SHORTCUT)
    c.require("no Start menu shortcut for all users", os.path.isfile(lnk))
    target = f"{program_files}\\Korvanel\\Ostrel\\presentation.exe"
    data = open(lnk, "rb").read()
    c.require(f"shortcut does not lead to {target}", target.encode() in data or target.encode("utf-16-le") in data)

    values = registry(p.prefix, key)
    c.require(f"no registration under HKLM\\{key}", values is not None)
    windows_folder = f"C:\\{program_files}\\Korvanel\\Ostrel"
    uninstaller = f'"{windows_folder}\\{UNINSTALLER}"'
    wanted = {"DisplayName": "Korvanel Ostrel", "Publisher": "Korvanel", "DisplayVersion": version,
              "InstallLocation": windows_folder, "UninstallString": uninstaller,
              "QuietUninstallString": uninstaller + " /S",
              "DisplayIcon": f"{windows_folder}\\presentation.exe,0",
              "IniPlaced": 0 if case["preseed"] else 1}
    for name, want in wanted.items():
        c.require(f"registration {name} is {values.get(name)!r}, expected {want!r}", values.get(name) == want)
    check_size(values, folder, present)
    return folder


# Windows' "done, but restart to finish" (3010), as a Linux exit status shows
# it under Wine: its low eight bits.
RESTART_NEEDED = 3010 & 0xFF


class HeldKorwipe:
    """The installed Korwipe.exe running, waiting at the question of -d:
    its program file is in use, as when an administrator left it there."""

    def __init__(self, p, folder):
        from terminal import TerminalRun
        held = os.path.join(p.scratch, "held")
        os.makedirs(held, exist_ok=True)
        open(os.path.join(held, "keep.txt"), "w").close()
        for _ in range(2):  # Wine's console on a pty is now and then not ready
            self.out = tempfile.TemporaryFile()
            self.t = TerminalRun([wine.WINE, os.path.join(folder, "Korwipe.exe"), "-d", "held"],
                                 cwd=p.scratch, env=p.env(), stdout=self.out)
            end = time.time() + 60
            while time.time() < end and self.t.proc.poll() is None and b"[y/n]" not in self.shown():
                self.t._pump(0.2)
            if b"[y/n]" in self.shown():
                return
            self.t.finish(10)
        c.stop(f"Korwipe.exe -d did not ask: {self.shown()!r}")

    def shown(self):
        self.out.seek(0)
        return self.out.read()

    def close(self):
        self.t.send("n")
        self.t.finish(60)
        self.out.close()


def registry_add(p, key, name, value):
    """Sets a string value under HKLM with the prefix's own reg.exe (the view
    of the prefix's architecture)."""
    rc, out = p.run(["reg", "add", "HKLM\\" + key, "/v", name, "/d", value, "/f"])
    c.require(f"reg add: {out}", rc == 0)


def conditions(p, case, installer, version):
    """The installer and the uninstaller on a machine that is not clean."""
    ini = open(os.path.join(artefact.BUILD, "setup", INI), "rb").read()
    folder = os.path.join(p.drive_c, case["files"], "Korvanel", "Ostrel")

    # A registration naming a drive that is gone: the default folder.
    registry_add(p, case["key"], "InstallLocation", "Q:\\Gone\\Korvanel\\Ostrel")
    rc, out = p.run([installer, "/S"])
    c.require(f"install over a stale InstallLocation: exit code {rc} {out!r}", rc == 0)
    check_installed(p, case, version, ini)

    # An upgrade while Korwipe.exe runs: the new file waits for the restart,
    # and the exit code says a restart is needed.
    korwipe = os.path.join(folder, "Korwipe.exe")
    with open(korwipe, "ab") as f:
        f.write(b"an earlier build")
    earlier = open(korwipe, "rb").read()
    held = HeldKorwipe(p, folder)
    try:
        rc, out = p.start([installer, "/S"])
        c.require(f"upgrade while Korwipe.exe runs: exit code {rc}, expected {RESTART_NEEDED} (restart needed) "
                  f"{out!r}", rc == RESTART_NEEDED)
        c.require("the running Korwipe.exe was written over", open(korwipe, "rb").read() == earlier)
    finally:
        held.close()
    p.wait_idle()
    p.run(["wineboot", "-r"])
    check_installed(p, case, version, ini)

    # Removal while Korwipe.exe runs, by the uninstaller's own copy as its
    # starter runs it (whose exit code the starter does not wait for): the
    # file goes at the restart, and the exit code says so.
    copy = os.path.join(p.scratch, "un.exe")
    shutil.copy(os.path.join(folder, UNINSTALLER), copy)
    held = HeldKorwipe(p, folder)
    try:
        # NSIS looks for " _?=" in the raw command line, unquoted: cmd passes
        # its line on as it stands.
        rc, out = p.start(["cmd", "/c", f"un.exe /S _?=C:\\{case['files']}\\Korvanel\\Ostrel"])
        c.require(f"uninstall while Korwipe.exe runs: exit code {rc}, expected {RESTART_NEEDED} (restart needed) "
                  f"{out!r}", rc == RESTART_NEEDED)
    finally:
        held.close()
    p.wait_idle()
    os.remove(copy)
    p.run(["wineboot", "-r"])
    c.require(f"left after the restart: {os.listdir(folder) if os.path.isdir(folder) else folder}",
              not os.path.lexists(folder))
    c.require("still registered after uninstall", registry(p.prefix, case["key"]) is None)

    # Into another product's folder, with a link planted in place of the
    # company's ProgramData folder before the uninstall.
    tools = os.path.join(p.drive_c, "Tools")
    theirs = {"uninstall.exe": b"MZ their uninstaller", "tool.dat": os.urandom(200000)}
    os.makedirs(tools)
    for name, data in theirs.items():
        with open(os.path.join(tools, name), "wb") as f:
            f.write(data)
    rc, out = p.run([installer, "/S", "/D=C:\\Tools"])
    c.require(f"install into C:\\Tools: exit code {rc} {out!r}", rc == 0)
    for name, data in theirs.items():
        c.require(f"their {name} was changed", open(os.path.join(tools, name), "rb").read() == data)
    check_size(registry(p.prefix, case["key"]), tools, set(PROGRAMS) | {INI, UNINSTALLER})

    company = os.path.join(p.drive_c, "ProgramData", "Korvanel")
    victim = os.path.join(p.root, "victim")
    os.makedirs(os.path.join(victim, "Ostrel"))
    with open(os.path.join(victim, "Ostrel", "config.cfg"), "wb") as f:
        f.write(b"\x05")
    shutil.rmtree(company)
    os.symlink(victim, company)
    quiet = registry(p.prefix, case["key"])["QuietUninstallString"]
    c.require(f"QuietUninstallString {quiet!r}", quiet == f'"C:\\Tools\\{UNINSTALLER}" /S')
    rc, out = p.run([os.path.join(tools, UNINSTALLER), "/S"])
    c.require(f"uninstall from C:\\Tools: exit code {rc} {out!r}", rc == 0)
    p.run(["wineboot", "-r"])
    left = set(os.listdir(tools)) if os.path.isdir(tools) else set()
    c.require(f"C:\\Tools holds {sorted(left)} after uninstall, expected only their files", left == set(theirs))
    c.require("the uninstaller deleted a file through the link planted at ProgramData\\Korvanel",
              os.path.isfile(os.path.join(victim, "Ostrel", "config.cfg")))


def check_size(values, folder, ours):
    """The registration's EstimatedSize is that of our files in folder."""
    kib = sum(os.path.getsize(os.path.join(folder, n)) for n in ours) // 1024
    size = values.get("EstimatedSize")
    c.require(f"EstimatedSize {size!r}, our files are {kib} KiB", isinstance(size, int) and abs(size - kib) <= 8)


def check_korwipe_erases(p, folder):
    victim = os.path.join(p.scratch, "victim.bin")
    with open(victim, "wb") as f:
        f.write(os.urandom(3000))
    rc, out = p.run([os.path.join(folder, "Korwipe.exe"), "victim.bin"])
    c.require(f"installed Korwipe.exe: exit code {rc}, output {out!r}", rc == 0 and "done." in out)
    c.require("Korwipe left files behind", not os.path.exists(victim) and not os.listdir(p.scratch))


def main():
    name = sys.argv[1]
    case = CASES[name]
    if case["arch"] != wine.ARCH:
        raise SystemExit(f"{name} needs a {case['arch']} prefix; this test was given {wine.ARCH}")
    # A 32-bit installer needs 32-bit Wine, in a 64-bit prefix too.
    if case["kind"] == "setup32":
        wine.skip_unless_available(WINE32, "win32")
    version = artefact.project_version()
    made = tempfile.mkdtemp(prefix="kor-pkg-out-")
    p = None
    try:
        installer = artefact.make(case["kind"], made)
        p = Prefix()
        p.wait_idle()
        if case.get("conditions"):
            conditions(p, case, installer, version)
            print(f"{name}: {os.path.basename(installer)} over a stale registration, in use, "
                  f"and beside another product's files")
            return
        files_before = files_of(p.drive_c)
        ostrel = os.path.join(case["files"], "Korvanel", "Ostrel")
        if case["preseed"]:
            os.makedirs(os.path.join(p.drive_c, ostrel))
            with open(os.path.join(p.drive_c, ostrel, INI), "wb") as f:
                f.write(case["preseed"])

        rc, out = p.run([installer, "/S"])
        c.require(f"silent install: exit code {rc} {out!r}", rc == 0)
        first_ini = case["preseed"] or open(os.path.join(artefact.BUILD, "setup", INI), "rb").read()
        folder = check_installed(p, case, version, first_ini)
        check_korwipe_erases(p, folder)

        # An administrator sets two passes in the installed ini; an older
        # presentation.exe stands for the earlier version being upgraded.
        with open(os.path.join(folder, INI), "wb") as f:
            f.write(b"\x02")
        with open(os.path.join(folder, "presentation.exe"), "wb") as f:
            f.write(b"MZ an older build")
        rc, out = p.run([installer, "/S"])
        c.require(f"second install: exit code {rc} {out!r}", rc == 0)
        check_installed(p, case, version, b"\x02")

        if case["foreign"]:
            other = os.path.join(p.drive_c, "ProgramData", "Korvanel", "other-product.txt")
            with open(other, "w") as f:
                f.write("not ours")
        quiet = registry(p.prefix, case["key"])["QuietUninstallString"]
        m = re.fullmatch(r'"([^"]+)" (/S)', quiet)
        c.require(f"QuietUninstallString {quiet!r}", m is not None)
        rc, out = p.run([m.group(1), m.group(2)])
        c.require(f"silent uninstall: exit code {rc} {out!r}", rc == 0)
        # NSIS runs its uninstaller from a copy in a folder of the temporary
        # folder, left for deletion at the next restart; restarting the
        # prefix deletes the copy. Wine's restart tries the folder before the
        # file in it, so the empty folder may stay, as any temporary folder.
        p.run(["wineboot", "-r"])

        left = {f for f in files_of(p.drive_c) - files_before
                if not (re.fullmatch(r"users/[^/]+/Temp/~nsu\d*\.tmp", f)
                        and not os.listdir(os.path.join(p.drive_c, f)))}
        allowed = set()
        if case["foreign"]:
            allowed |= {"ProgramData/Korvanel", "ProgramData/Korvanel/other-product.txt"}
        if case["preseed"]:
            allowed |= {os.path.dirname(ostrel), ostrel, os.path.join(ostrel, INI)}
        c.require(f"left after uninstall: {sorted(left - allowed)}"
                  f"{'; removed: ' + str(sorted(allowed - left)) if allowed - left else ''}", left == allowed)
        keys = mentions_product(p.prefix)
        c.require(f"registry keys left: {keys}", not keys)
        print(f"{name}: {os.path.basename(installer)} installed, used, upgraded and removed")
    finally:
        if p:
            p.close()
        shutil.rmtree(made, ignore_errors=True)


c = Checks()
main()
c.done()

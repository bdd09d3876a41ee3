"""The shipped Windows artefacts, made from the win32 build: the installer is
a 32-bit installer that carries exactly the built 32-bit programs and the
default setting, and says the build's version; the zip holds the same four
files in one folder."""
import os
import subprocess
import sys
import tempfile
import zipfile

import artefact
import check_pe
import pe_version

PROGRAMS = {"Korwipe.exe": ("wipe/Korwipe.exe", "console"),
            "presentation.exe": ("presentation/presentation.exe", "windows"),
            "cfgsetup.exe": ("setup/cfgsetup.exe", "windows"),
            "Tavisk Sleeper.ini": ("setup/Tavisk Sleeper.ini", None)}
# What NSIS itself adds to the archive listing: the uninstaller it writes at
# install time and the plug-in it unpacks to a temporary folder.
NSIS_OWN = {"ostrel-uninstall.exe", "$PLUGINSDIR/System.dll"}


def in_installer(name):
    """The name the installer stores a file under: each program is unpacked
    beside its place as NAME.new and then moved over the old one."""
    return name + ".new" if name.endswith(".exe") else name


def built(relative):
    return open(os.path.join(artefact.BUILD, relative), "rb").read()


def check_installer(path, version, unpacked, failures):
    problem = check_pe.check(path, "windows", False)
    if problem:
        failures.append(f"installer: {problem}")
    info = pe_version.read_version(open(path, "rb").read())
    strings = next(iter(info["strings"].values()), {}) if info else {}
    if strings.get("ProductVersion") != version or strings.get("ProductName") != pe_version.PRODUCT:
        failures.append(f"installer version strings {strings}")

    listing = subprocess.run(["7z", "l", "-slt", path], check=True, capture_output=True, text=True).stdout
    names = {line[7:] for line in listing.splitlines() if line.startswith("Path = ")} - {path}
    stored = [in_installer(name) for name in PROGRAMS]
    if names - NSIS_OWN != set(stored):
        failures.append(f"installer holds {sorted(names)}, expected {sorted(stored)} and NSIS's own")
    subprocess.run(["7z", "x", "-y", "-o" + unpacked, path] + stored, check=True,
                   stdout=subprocess.DEVNULL)
    for name, (relative, kind) in PROGRAMS.items():
        inside = os.path.join(unpacked, in_installer(name))
        if not os.path.exists(inside):
            failures.append(f"installer: {name} could not be unpacked")
            continue
        if open(inside, "rb").read() != built(relative):
            failures.append(f"installer: {name} differs from the build's {relative}")
        if kind and check_pe.check(inside, kind, False):
            failures.append(f"installer: {name}: {check_pe.check(inside, kind, False)}")


def check_zip(path, version, failures):
    folder = f"korvanel-ostrel-{version}-win32/"
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        wanted = {folder + name for name in PROGRAMS}
        if names != wanted:
            failures.append(f"zip holds {sorted(names)}, expected {sorted(wanted)}")
        for name, (relative, _) in PROGRAMS.items():
            if folder + name in names and z.read(folder + name) != built(relative):
                failures.append(f"zip: {name} differs from the build's {relative}")


def main():
    version = artefact.project_version()
    failures = []
    with tempfile.TemporaryDirectory(prefix="kor-package-") as out:
        check_installer(artefact.make("setup32", out), version, os.path.join(out, "unpacked"), failures)
        check_zip(artefact.make("zip", out), version, failures)
    for f in failures:
        print("FAIL:", f)
    print(f"installer and zip of {version}: " + ("%d failures" % len(failures) if failures else "as built"))
    return 1 if failures else 0


sys.exit(main())

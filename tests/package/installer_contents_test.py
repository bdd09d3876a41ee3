"""The shipped Windows artefacts, made from the win32 build: the installer is
a 32-bit installer that carries exactly the built 32-bit programs and the
default setting, and says the build's version; the zip holds the same four
files in one folder."""
import os
import subprocess
import tempfile
import zipfile

import artefact
import check_pe
import pe_version
from checks import Checks

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


def check_installer(path, version, unpacked):
    c.eq("installer: what is wrong with the PE image", check_pe.check(path, "windows", False), None)
    info = pe_version.read_version(open(path, "rb").read())
    strings = next(iter(info["strings"].values()), {}) if info else {}
    c.true("installer version strings",
           strings.get("ProductVersion") == version and strings.get("ProductName") == pe_version.PRODUCT, strings)

    listing = subprocess.run(["7z", "l", "-slt", path], check=True, capture_output=True, text=True).stdout
    names = {line[7:] for line in listing.splitlines() if line.startswith("Path = ")} - {path}
    stored = [in_installer(name) for name in PROGRAMS]
    c.true("installer holds the programs and NSIS's own", names - NSIS_OWN == set(stored),
           f"{sorted(names)}, expected {sorted(stored)} and NSIS's own")
    subprocess.run(["7z", "x", "-y", "-o" + unpacked, path] + stored, check=True,
                   stdout=subprocess.DEVNULL)
    for name, (relative, kind) in PROGRAMS.items():
        inside = os.path.join(unpacked, in_installer(name))
        if not c.true(f"installer: {name} unpacked", os.path.exists(inside)):
            continue
        c.true(f"installer: {name} equal to the build's {relative}", open(inside, "rb").read() == built(relative))
        if kind:
            c.eq(f"installer: what is wrong with {name}", check_pe.check(inside, kind, False), None)


def check_zip(path, version):
    folder = f"korvanel-ostrel-{version}-win32/"
    with zipfile.ZipFile(path) as z:
        names = set(z.namelist())
        wanted = {folder + name for name in PROGRAMS}
        c.eq("zip contents", sorted(names), sorted(wanted))
        for name, (relative, _) in PROGRAMS.items():
            if folder + name in names:
                c.true(f"zip: {name} equal to the build's {relative}", z.read(folder + name) == built(relative))


c = Checks()
version = artefact.project_version()
with tempfile.TemporaryDirectory(prefix="kor-package-") as out:
    check_installer(artefact.make("setup32", out), version, os.path.join(out, "unpacked"))
    check_zip(artefact.make("zip", out), version)
print(f"installer and zip of {version}")
c.done()

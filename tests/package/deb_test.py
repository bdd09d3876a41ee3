"""The Debian package, as an administrator installs, uses and removes it.

Runs as root only, and only on a machine without the package and without a
setting in /etc/Korvanel (it would change them): otherwise it is skipped,
saying why. It leaves the machine as it found it: the package is purged on
every way out.

Steps: lintian reports no errors; dpkg --root into a chroot without /proc,
fresh and over a setting placed before, places the setting; dpkg -i; Korwipe from the PATH erases a
file; man -w finds Korwipe(1); the setting is in place, one 0 byte, open to
the group users; a changed setting survives a reinstallation and a remove;
purge leaves no file of the package and no setting.
"""
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile

import artefact
from checks import Checks, skip

PACKAGE = "korvanel-ostrel"
SETTING = "/etc/Korvanel/Ostrel/config.cfg"
OUR_FOLDERS = ["/usr/libexec/korvanel-ostrel", "/usr/share/doc/korvanel-ostrel", "/etc/Korvanel"]
ENV = dict(os.environ, DEBIAN_FRONTEND="noninteractive", LC_ALL="C")
# Present while a run of this test may have the package installed: a run that
# was killed before it could purge is cleaned up by the next one, instead of
# every later run skipping because the package is there.
MARKER = "/var/tmp/korvanel-ostrel-deb-test.running"


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, env=ENV, **kw)


def dpkg_status():
    r = run(["dpkg-query", "-W", "-f=${Status}", PACKAGE])
    return r.stdout.strip() if r.returncode == 0 else ""


def users_acl(path):
    """The access of the group users on path as getfacl shows it ('rw-'), the
    effective one after the mask; None without such an entry."""
    out = run(["getfacl", "-p", "-c", path], check=True).stdout
    for line in out.splitlines():
        words = line.split()
        if words and words[0].startswith("group:users:"):
            # getfacl adds "#effective:r--" when the mask takes rights away.
            effective = [w for w in words[1:] if w.startswith("#effective:")]
            return (effective[0] if effective else words[0]).split(":")[-1]
    return None


def acl_supported(folder):
    """True when the file system of folder keeps access lists."""
    fd, probe = tempfile.mkstemp(dir=folder, prefix=".kor-acl-probe-")
    os.close(fd)
    try:
        return run(["setfacl", "-m", "g:users:rw", probe]).returncode == 0
    finally:
        os.unlink(probe)


def install(deb, what):
    r = run(["dpkg", "-i", deb])
    c.require(f"{what}: dpkg -i failed: {r.stdout}{r.stderr}", r.returncode == 0)
    c.require(f"{what}: status {dpkg_status()!r}", dpkg_status() == "install ok installed")


def check_setting(content, acl):
    c.require(f"{SETTING} is not there", os.path.isfile(SETTING))
    got = open(SETTING, "rb").read()
    c.require(f"{SETTING} holds {got!r}, expected {content!r}", got == content)
    if acl:
        c.require(f"{SETTING}: group users has {users_acl(SETTING)!r}, not rw-", users_acl(SETTING) == "rw-")


def check_use(scratch):
    korwipe = shutil.which("Korwipe", path=ENV.get("PATH", "/usr/bin:/bin"))
    c.require(f"Korwipe on the PATH is {korwipe!r}", korwipe == "/usr/bin/Korwipe")
    victim = os.path.join(scratch, "victim.bin")
    with open(victim, "wb") as f:
        f.write(os.urandom(3000))
    r = run(["Korwipe", "victim.bin"], cwd=scratch, timeout=60)
    c.require(f"Korwipe: exit code {r.returncode}, {r.stdout!r}", r.returncode == 0 and r.stdout == "done.\n")
    c.require(f"Korwipe left {os.listdir(scratch)}", not os.listdir(scratch))

    r = run(["man", "-w", "Korwipe"])
    c.require(f"man -w Korwipe: {r.stdout!r}{r.stderr!r}", r.stdout.strip() == "/usr/share/man/man1/Korwipe.1.gz")
    page = run(["man", "-P", "cat", "Korwipe"]).stdout
    for part in ("EXIT STATUS", "/etc/Korvanel/Ostrel/config.cfg", "Korwipe -d"):
        c.require(f"the manual page lacks {part!r}", part in page)


# What the package's scripts run, for a system image being built in a chroot.
CHROOT_PROGRAMS = ["/usr/bin/dash", "/usr/bin/cp", "/usr/bin/mktemp", "/usr/bin/cmp", "/usr/bin/rm"]


def make_chroot(root, deb):
    """A minimal system in root: a shell and the tools the package's scripts
    use, with their libraries and those of the package's programs, the
    groups, an empty dpkg database, and no /proc."""
    unpacked = os.path.join(os.path.dirname(root), "unpacked")
    run(["dpkg-deb", "-x", deb, unpacked], check=True)
    programs = CHROOT_PROGRAMS + [os.path.join(unpacked, "usr/libexec/korvanel-ostrel/cfgsetup")]
    for program in programs:
        for lib in re.findall(r"(/\S+) \(0x", run(["ldd", program], check=True).stdout):
            os.makedirs(root + os.path.dirname(lib), exist_ok=True)
            shutil.copy(lib, root + lib)
    for program in CHROOT_PROGRAMS:
        os.makedirs(root + os.path.dirname(program), exist_ok=True)
        shutil.copy(program, root + program)
    os.makedirs(os.path.join(root, "bin"))
    shutil.copy("/usr/bin/dash", os.path.join(root, "bin/sh"))
    os.makedirs(os.path.join(root, "tmp"), mode=0o1777)
    os.makedirs(os.path.join(root, "etc"))
    for name, keep in (("group", ("root:", "users:")), ("passwd", ("root:",))):
        with open(os.path.join("/etc", name)) as f, open(os.path.join(root, "etc", name), "w") as g:
            g.writelines(line for line in f if line.startswith(keep))
    admin = os.path.join(root, "var/lib/dpkg")
    for sub in ("info", "updates", "triggers"):
        os.makedirs(os.path.join(admin, sub))
    for name in ("status", "available"):
        open(os.path.join(admin, name), "w").close()


def check_chroot(deb, work, acl):
    """dpkg --root into a chroot without /proc, fresh and over a setting
    placed before the package: installed, and the setting in place (the one
    that was there keeps its bytes) and open to the group users."""
    for what, before in (("fresh chroot", None), ("chroot with a setting", b"\x03")):
        top = tempfile.mkdtemp(prefix="kor-chroot-", dir=work)
        root = os.path.join(top, "root")
        make_chroot(root, deb)
        c.require("the chroot has a /proc", not os.path.exists(os.path.join(root, "proc")))
        setting = root + SETTING
        if before is not None:
            os.makedirs(os.path.dirname(setting))
            with open(setting, "wb") as f:
                f.write(before)
        # The chroot has no libc package: its files are there, its record is not.
        r = run(["dpkg", "--root", root, "--force-depends", "-i", deb])
        status = run(["dpkg-query", "--admindir", os.path.join(root, "var/lib/dpkg"), "-W", "-f=${Status}",
                      PACKAGE]).stdout
        c.require(f"{what}: dpkg -i exit code {r.returncode}, status {status!r}: {r.stdout}{r.stderr}",
                  r.returncode == 0 and status == "install ok installed")
        c.require(f"{what}: no setting placed", os.path.isfile(setting))
        got = open(setting, "rb").read()
        want = before if before is not None else b"\0"
        c.require(f"{what}: the setting holds {got!r}, expected {want!r}", got == want)
        if acl:
            c.require(f"{what}: group users has {users_acl(setting)!r}, not rw-", users_acl(setting) == "rw-")


def main():
    if os.geteuid() != 0:
        skip("the Debian package test installs a package: run it as root")
    if os.path.exists(MARKER):
        print("cleaning up after an interrupted run of this test")
        run(["dpkg", "--purge", PACKAGE])
        shutil.rmtree("/etc/Korvanel", ignore_errors=True)
        os.unlink(MARKER)
    if dpkg_status():
        skip(f"{PACKAGE} is known to dpkg here ({dpkg_status()}); the test would change it")
    for path in ["/usr/bin/Korwipe", "/etc/Korvanel"]:
        if os.path.lexists(path):
            skip(f"{path} exists; the test would change it")

    work = tempfile.mkdtemp(prefix="kor-deb-")
    installed = False
    try:
        deb = artefact.make("deb", work)
        # lintian leaves its ELF cache (mldbm-elf-*) in TMPDIR: keep it in work.
        r = subprocess.run(["lintian", "--fail-on", "error", deb], capture_output=True, text=True,
                           env=dict(ENV, TMPDIR=work))
        print(r.stdout, end="")
        c.require(f"lintian reports errors: {r.stdout}{r.stderr}", r.returncode == 0)
        check_chroot(deb, work, acl_supported(work))

        acl = acl_supported("/etc")
        open(MARKER, "w").close()
        install(deb, "first installation")
        installed = True
        files = [f for f in run(["dpkg", "-L", PACKAGE], check=True).stdout.split("\n") if f]
        scratch = os.path.join(work, "scratch")
        os.makedirs(scratch)
        check_use(scratch)
        check_setting(b"\0", acl)

        # The administrator's setting, written in place (as an editor that
        # keeps the file would), survives a reinstallation and a remove.
        with open(SETTING, "r+b") as f:
            f.write(b"\x03")
        install(deb, "reinstallation")
        check_setting(b"\x03", acl)
        r = run(["dpkg", "--remove", PACKAGE])
        c.require(f"dpkg --remove: {r.stdout}{r.stderr}", r.returncode == 0)
        check_setting(b"\x03", False)

        r = run(["dpkg", "--purge", PACKAGE])
        c.require(f"dpkg --purge: {r.stdout}{r.stderr}", r.returncode == 0)
        installed = False
        # Shared folders such as /usr/bin stay; the package's files and its
        # own folders must not.
        left = [f for f in files if os.path.lexists(f) and not os.path.isdir(f)]
        left += [f for f in OUR_FOLDERS if os.path.lexists(f)]
        c.require(f"left after purge: {left}", not left)
        c.require(f"dpkg still knows the package: {dpkg_status()!r}", dpkg_status() == "")
        print(f"{os.path.basename(deb)}: lintian clean of errors, installed, used, reinstalled, purged")
    finally:
        if installed or dpkg_status():
            run(["dpkg", "--purge", PACKAGE])
        # There was no /etc/Korvanel before (or the test would not have run):
        # a purge that failed to remove the setting must not leave it.
        shutil.rmtree("/etc/Korvanel", ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)
        if os.path.exists(MARKER) and not dpkg_status():
            os.unlink(MARKER)


# A stop asked for (ctest's timeout, a terminal closed) still purges.
signal.signal(signal.SIGTERM, lambda *_: sys.exit(1))
signal.signal(signal.SIGHUP, lambda *_: sys.exit(1))
c = Checks()
main()
c.done()

"""The Linux cfgsetup, run as a user would, against a scratch root.

Usage: cfgsetup_posix_test.py CASE CFGSETUP_TESTROOT [KORWIPE_TESTCFG]

CFGSETUP_TESTROOT is the test build, which takes its root from KOR_SETUP_ROOT
instead of /etc. Each case works in a scratch folder of its own: the program
is copied into scratch/bin (with or without "Tavisk Sleeper.ini" beside it) and
the root is scratch/etc.
"""
import grp
import os
import shutil
import struct
import subprocess
import sys
import tempfile

from checks import Checks

SOURCE_NAME = "Tavisk Sleeper.ini"
ACL_NAME = "system.posix_acl_access"
ACL_GROUP, ACL_MASK = 0x08, 0x10


class Scratch:
    def __init__(self, program):
        self.root = tempfile.mkdtemp(prefix="cfgsetup-posix-")
        self.bin = os.path.join(self.root, "bin")
        self.etc = os.path.join(self.root, "etc")
        os.makedirs(self.bin)
        os.makedirs(self.etc)
        self.program = os.path.join(self.bin, "cfgsetup")
        shutil.copy(program, self.program)

    @property
    def folder(self):
        return os.path.join(self.etc, "Korvanel", "Ostrel")

    @property
    def target(self):
        return os.path.join(self.folder, "config.cfg")

    def put_source(self, data):
        with open(os.path.join(self.bin, SOURCE_NAME), "wb") as f:
            f.write(data)

    def run(self, args=()):
        env = dict(os.environ, KOR_SETUP_ROOT=self.etc)
        p = subprocess.run([self.program] + list(args), env=env, capture_output=True, timeout=30)
        c.require(f"exit code {p.returncode}, expected 0", p.returncode == 0)
        c.require(f"expected no output, got {p.stdout!r} {p.stderr!r}", p.stdout == b"" and p.stderr == b"")

    def outcome(self):
        """What a run left under the root: every name, the copy's bytes, the users entry."""
        names = sorted(os.path.relpath(os.path.join(d, n), self.etc)
                       for d, dirs, files in os.walk(self.etc) for n in dirs + files)
        data = None
        if os.path.isfile(self.target):
            with open(self.target, "rb") as f:
                data = f.read()
        return names, data, users_entries(self.target) if data is not None else None

    def close(self):
        shutil.rmtree(self.root, ignore_errors=True)


def acl_entries(path):
    try:
        raw = os.getxattr(path, ACL_NAME, follow_symlinks=False)
    except OSError:
        return []
    c.require(f"access list of {path} is malformed: {raw!r}",
              len(raw) >= 4 and (len(raw) - 4) % 8 == 0 and struct.unpack_from("<I", raw)[0] == 2)
    return [struct.unpack_from("<HHI", raw, at) for at in range(4, len(raw), 8)]


def users_entries(path):
    gid = grp.getgrnam("users").gr_gid
    return [(tag, perm) for tag, perm, ident in acl_entries(path) if tag == ACL_GROUP and ident == gid]


def check_granted(path, what):
    entries = acl_entries(path)
    c.require(f"{what}: users group entry is {users_entries(path)}, expected exactly one with read and write; "
              f"whole list {entries}", users_entries(path) == [(ACL_GROUP, 6)])
    masks = [perm for tag, perm, _ in entries if tag == ACL_MASK]
    c.require(f"{what}: the mask {masks} does not let the users entry take effect", masks and masks[0] & 6 == 6)


def case_first_and_second_run(s, _):
    first = b"\x03 rest is ignored \xff\x00"
    s.put_source(first)
    s.run()
    c.require("folders not created", os.path.isdir(os.path.join(s.etc, "Korvanel")) and os.path.isdir(s.folder))
    with open(s.target, "rb") as f:
        c.require("first run: copy differs from the source", f.read() == first)
    mode = os.stat(s.target).st_mode
    c.require(f"copy not readable by everyone: mode {oct(mode)}", mode & 0o044 == 0o044)
    check_granted(s.target, "first run")

    s.put_source(b"\x01")
    s.run()
    with open(s.target, "rb") as f:
        c.require("second run: config.cfg was not replaced", f.read() == b"\x01")
    check_granted(s.target, "second run")
    c.require(f"left behind in the folder: {os.listdir(s.folder)}", os.listdir(s.folder) == ["config.cfg"])


def case_no_source(s, _):
    s.run()
    c.require("folders not created", os.path.isdir(s.folder))
    c.require("config.cfg placed without a source", not os.path.lexists(s.target))


def case_arguments(s, program):
    s.put_source(b"\x02")
    s.run()
    expected = s.outcome()
    c.require("baseline run placed nothing", expected[1] == b"\x02")
    for args in (["x"], ["-d", "*"], ["/E", "/G", "Users:C"], ["--root", "/tmp"], [""], ["a b", "ü"]):
        t = Scratch(program)
        try:
            t.put_source(b"\x02")
            t.run(args)
            got = t.outcome()
            c.require(f"arguments {args!r}: outcome {got}, expected {expected}", got == expected)
        finally:
            t.close()


def case_link_replaced(s, _):
    # A link named config.cfg is replaced by the copy, never written through.
    victim = os.path.join(s.root, "victim")
    with open(victim, "wb") as f:
        f.write(b"keep")
    os.makedirs(s.folder)
    os.symlink(victim, s.target)
    s.put_source(b"\x04")
    s.run()
    c.require("config.cfg is still a link", not os.path.islink(s.target))
    with open(s.target, "rb") as f:
        c.require("copy not placed over the link", f.read() == b"\x04")
    with open(victim, "rb") as f:
        c.require("the link's target was written", f.read() == b"keep")
    c.require("the link's target was opened to users", acl_entries(victim) == [] or users_entries(victim) == [])

    # A folder level that is a link: nothing is placed through it.
    elsewhere = os.path.join(s.root, "elsewhere")
    os.makedirs(os.path.join(elsewhere, "Ostrel"))
    shutil.rmtree(os.path.join(s.etc, "Korvanel"))
    os.symlink(elsewhere, os.path.join(s.etc, "Korvanel"))
    s.run()
    c.require("copy placed through a linked folder", os.listdir(os.path.join(elsewhere, "Ostrel")) == [])


def erase_passes(korwipe, config, workdir, name):
    """Erases a 600-byte file with the test build of Korwipe reading config; returns its pass count."""
    path = os.path.join(workdir, name)
    with open(path, "wb") as f:
        f.write(b"A" * 600)
    snaps = os.path.join(workdir, "snapshots-" + name)
    os.makedirs(snaps)
    env = dict(os.environ, KORWIPE_TEST_CONFIG=config, KORWIPE_TEST_SNAPSHOT=snaps)
    p = subprocess.run([korwipe, name], cwd=workdir, env=env, capture_output=True, timeout=60)
    c.require(f"Korwipe exit code {p.returncode}: {p.stdout!r}", p.returncode == 0)
    c.require("Korwipe left the file", not os.path.exists(path))
    return len(os.listdir(snaps))


def case_korwipe_reads_setting(s, _, korwipe):
    # A file under 1 KiB gets five passes automatically; a placed 1 gives one.
    work = os.path.join(s.root, "work")
    os.makedirs(work)
    for setting, passes in ((b"\x01", 1), (b"\x00", 5), (b"\x03", 3)):
        s.put_source(setting)
        s.run()
        got = erase_passes(korwipe, s.target, work, f"victim-{setting[0]}")
        c.require(f"setting {setting[0]}: {got} passes, expected {passes}", got == passes)


CASES = {
    "first_and_second_run": case_first_and_second_run,
    "no_source": case_no_source,
    "arguments": case_arguments,
    "link_replaced": case_link_replaced,
    "korwipe_reads_setting": case_korwipe_reads_setting,
}


def main():
    case, program = sys.argv[1], sys.argv[2]
    s = Scratch(program)
    try:
        if case == "korwipe_reads_setting":
            CASES[case](s, program, sys.argv[3])
        else:
            CASES[case](s, program)
    finally:
        s.close()
    c.done()


if __name__ == "__main__":
    c = Checks()
    main()

"""Korwipe on Linux: a file with other hard links. Its name goes, its contents
are left to the other names, byte for byte, and one warning line says so on
standard error; standard output and the exit code are those of an erased
file. A plain file next to it is erased as always. A hard link whose other
name is in the same tree: the second name met is by then the only one, so
it is erased, and the tree goes."""
import os
import re
import subprocess

from checks import Checks
from wipetest import (ERASED, PROMPT_ONE, Scratch, answer, native_env, programs, snapshot,
                      without_device_warning)

shipped, testcfg = programs()
c = Checks()


def warning(name):
    return f"warning: {name} has other links; its contents were left to them"


def run(args, cwd):
    """Exit code, standard output lines and standard error's warning lines.
    The directory form is answered y on a terminal of its own, which is also
    where its standard error goes."""
    if args[0] == "-d":
        r, screen, _ = answer([testcfg] + args, cwd, native_env(), ["y"])
        return r.rc, r.lines, re.findall(r"warning: [^\r\n]*", screen.decode("latin-1"))
    p = subprocess.run([testcfg] + args, cwd=cwd, env=native_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True, timeout=120)
    return p.returncode, p.stdout.decode("latin-1").splitlines(), without_device_warning(p.stderr.decode("latin-1")).splitlines()


# case, hard links (name to erase: its other name), plain files, arguments,
# standard output, warnings (None: not checked), the name that must be gone
cases = [
    ("single file", {"dir/f": "orig/f"}, [], ["dir/f"], ["done."], [warning("dir/f")], "dir/f"),
    ("pattern", {"pat/x.dat": "orig/x.dat"}, ["pat/plain.dat"], ["pat/*.dat"], ["done."],
     [warning("pat/x.dat")], "pat/x.dat"),
    ("tree, like a local clone", {"clone/objects/x": "orig/objects/x"}, ["clone/plain"], ["-d", "clone"],
     [PROMPT_ONE, "", "Erasing directory clone/", "Erasing directory clone/objects/", "done."],
     [warning("clone/objects/x")], "clone"),
    ("both names in the tree", {"both/a": "both/b"}, ["both/plain"], ["-d", "both"],
     [PROMPT_ONE, "", "Erasing directory both/", "done."], None, "both"),
]

for case, links, plain, args, stdout, warnings, gone in cases:
    with Scratch() as s:
        for i, (name, other) in enumerate(links.items()):
            s.write(other, bytes([i + 1]) * 10000)
            os.makedirs(os.path.dirname(s.p(name)), exist_ok=True)
            os.link(s.p(other), s.p(name))
        for name in plain:
            s.write(name, size=10000)
        os.makedirs(s.p("orig"), exist_ok=True)
        kept = snapshot(s.p("orig"))
        rc, out, err = run(args, s.path)
        c.eq(f"{case}: exit code and output", (rc, out), (0, stdout))
        if warnings is not None:
            c.eq(f"{case}: standard error", err, warnings)
        now = snapshot(s.p("orig"))
        c.eq(f"{case}: other names changed or lost", sorted(n for n in kept if now.get(n) != kept[n]), [])
        left = [n for n in [gone] + plain + [ERASED] if os.path.lexists(s.p(n))]
        c.eq(f"{case}: names left", left, [])

c.done()

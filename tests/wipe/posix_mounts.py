"""Korwipe on Linux and mount points (root: bind mounts; skipped, 77, without).

A folder or a file of another place bound inside a tree (a chroot or a
container root with /home bound in, a build root) is not part of the tree:
the directory form neither enters nor removes it and reports the tree as not
erased, and the pattern form leaves it. What the user names is another
matter: a mount root given as the argument is worked on like any folder.
Each row makes its mounts, runs a form, and compares what the outside place
holds and what Korwipe printed; every mount is undone on every way out.
"""
import os
import subprocess
import sys

from checks import Checks, skip
from wipetest import PROMPT_ONE, Scratch, programs, run_form, snapshot

if os.geteuid() != 0:
    print("skipped: bind mounts need root")
    sys.exit(77)

shipped, testcfg = programs()
c = Checks()
OUTSIDE = {"keep.txt": b"outside " * 100, "deep/more.txt": b"more " * 100}


def bind(source, target):
    subprocess.run(["mount", "--bind", source, target], check=True)


def unmount_all(root):
    """Undoes every mount under root, deepest first."""
    with open("/proc/self/mounts") as f:
        points = [line.split()[1] for line in f]
    for p in sorted((p for p in points if p.startswith(root + "/")), key=len, reverse=True):
        subprocess.run(["umount", "-l", p], check=False)


def bound_dir(s):
    s.write("tree/sub/own.txt", size=500)
    os.makedirs(s.p("tree/sub/mnt"))
    bind(s.p("outside"), s.p("tree/sub/mnt"))


def bound_file(s):
    s.write("tree/own.txt", size=500)
    s.write("tree/f", b"placeholder")
    bind(s.p("outside/keep.txt"), s.p("tree/f"))


def bound_argument(s):
    os.makedirs(s.p("mnt"))
    bind(s.p("outside"), s.p("mnt"))


# case, set-up, arguments, expected exit code and output, whether the
# outside files stay
ROWS = [
    ("-d tree, a folder bound inside", bound_dir, ["-d", "tree"], 1,
     [PROMPT_ONE, "", "Erasing directory tree/", "Erasing directory tree/sub/", "Erasing directory tree/sub/mnt/",
      "Some directories couldn't be erased."], True),
    ("-d tree, a file bound onto one inside", bound_file, ["-d", "tree"], 1,
     [PROMPT_ONE, "", "Erasing directory tree/", "error opening tree/f file", "Some directories couldn't be erased."],
     True),
    ("tree/*, a file bound onto one inside", bound_file, ["tree/*"], 0,
     ["error opening tree/f file", "Some files couldn't be erased.", "done."], True),
    # Named by the user: its files go; the mount root itself cannot.
    ("-d mnt, the argument a mount root", bound_argument, ["-d", "mnt"], 1,
     [PROMPT_ONE, "", "Erasing directory mnt/", "Erasing directory mnt/deep/", "Some directories couldn't be erased."],
     False),
    ("mnt/*, the folder a mount root", bound_argument, ["mnt/*"], 0, ["done."], False),
]

for case, setup, args, rc, lines, outside_stays in ROWS:
    with Scratch() as s:
        try:
            for rel, data in OUTSIDE.items():
                s.write("outside/" + rel, data)
            setup(s)
            before = snapshot(s.p("outside"))
            r = run_form(testcfg, args, s.path)
            c.eq(f"{case}: exit code and output", (r.rc, sorted(r.lines)), (rc, sorted(lines)))
            c.eq(f"{case}: the order of the directory lines", [l for l in r.lines if l.startswith("Erasing")],
                 [l for l in lines if l.startswith("Erasing")])
            after = snapshot(s.p("outside"))
            if not outside_stays:
                # Named by the user: the folder's files go (the pattern form
                # stays in the folder, the directory form goes down).
                before = {} if "-d" in args else {"deep": "dir", "deep/more.txt": OUTSIDE["deep/more.txt"]}
            c.eq(f"{case}: names of the outside place changed or lost",
                 sorted(n for n in set(before) | set(after) if before.get(n) != after.get(n)), [])
        finally:
            unmount_all(s.path)

c.done()

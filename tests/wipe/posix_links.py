"""Korwipe on Linux: symbolic links named on the command line. A link to a
directory is refused like the directory itself (error line, exit 2, link and
target untouched); a link to a file, a dangling link and a loop go as names,
their targets untouched; the pattern form and the directory form skip links
to directories."""
import os

from checks import Checks
from wipetest import Scratch, programs, run_native, snapshot

shipped, testcfg = programs()
c = Checks()


LINKS = {"to-dir": "target", "to-link-to-dir": "to-dir", "to-file": "target/inner.txt",
         "dangling": "nosuch", "loop": "loop"}


def scratch_with_links(s):
    s.write("target/inner.txt", b"precious")
    s.write("target/sub/deep.txt", b"deep")
    for name, target in LINKS.items():
        os.symlink(target, s.p(name))
    os.symlink(s.p("target"), s.p("to-dir-abs"))


# The name given, and the link it removes (None: refused, nothing touched).
cases = [
    ("to-dir", None), ("to-link-to-dir", None), ("to-dir-abs", None),
    ("to-dir/", None),  # a trailing slash names the directory itself
    ("to-file", "to-file"), ("dangling", "dangling"), ("loop", "loop"),
]

for name, removed in cases:
    with Scratch() as s:
        scratch_with_links(s)
        before = snapshot(s.path)
        r = run_native(testcfg, [name], s.path)
        after = snapshot(s.path)
        if removed is None:
            c.eq(f"{name}: output", (r.rc, r.lines), (2, [f"error opening {name} file"]))
            c.eq(f"{name}: nothing touched", after, before)
        else:
            c.eq(f"{name}: output", (r.rc, r.lines), (0, ["done."]))
            del before[removed]
            c.eq(f"{name}: only the link removed", after, before)

with Scratch() as s:
    scratch_with_links(s)
    # The pattern form: the link to a directory is skipped, the dangling link
    # and the link to a file go as names, the plain file is erased.
    os.makedirs(s.p("pat"))
    s.write("pat/plain.lnk", size=100)
    os.symlink("../target", s.p("pat/dir.lnk"))
    os.symlink("../target/inner.txt", s.p("pat/file.lnk"))
    os.symlink("nosuch", s.p("pat/dangling.lnk"))
    r = run_native(testcfg, ["pat/*.lnk"], s.path)
    c.eq("pattern: output", (r.rc, r.lines), (0, ["done."]))
    c.eq("pattern: only the directory link left", os.listdir(s.p("pat")), ["dir.lnk"])
    c.eq("pattern: targets intact", snapshot(s.p("target")),
         {"inner.txt": b"precious", "sub": "dir", "sub/deep.txt": b"deep"})

# The directory form: a link to a directory is no directory to erase, named
# or matched by a pattern; nothing is asked and nothing touched.
for arg in ["to-dir", "to-dir-abs", "to-*"]:
    with Scratch() as s:
        scratch_with_links(s)
        before = snapshot(s.path)
        r = run_native(testcfg, ["-d", arg], s.path)
        c.eq(f"-d {arg}: output", (r.rc, r.lines), (1, ["No matching directories found."]))
        c.eq(f"-d {arg}: nothing touched", snapshot(s.path), before)

c.done()

"""Korwipe on Linux: the command-line forms, their messages and exit codes."""
import os
import stat

from checks import Checks
from wipetest import ERASED, USAGE, Scratch, programs, run_native

shipped, testcfg = programs()
c = Checks()

# Usage errors read no setting, so the shipped program itself is run here.
for args in ([], ["a", "b", "c"], ["a", "b"], ["-D", "x"], ["-d", "a", "b"]):
    with Scratch() as s:
        r = run_native(shipped, args, s.path)
        c.eq(f"usage {args}", (r.rc, r.lines), (1, [USAGE]))

with Scratch() as s:
    def run(*args):
        return run_native(testcfg, list(args), s.path)

    # Single-file form.
    s.write("plain.txt", size=3000)
    r = run("plain.txt")
    c.eq("single file", (r.rc, r.lines), (0, ["done."]))
    c.true("single file gone", not os.listdir(s.path), os.listdir(s.path))

    for name in ("nosuch.txt", "-D"):
        r = run(name)
        c.eq(f"missing {name}", (r.rc, r.lines), (2, [f"error opening {name} file"]))

    os.mkdir(s.p("adir"))
    r = run("adir")
    c.eq("directory named as a file", (r.rc, r.lines), (2, ["error opening adir file"]))
    c.true("directory left", os.path.isdir(s.p("adir")))

    ro = s.write("readonly.bin", size=5000)
    os.chmod(ro, 0o444)
    empty = s.write("empty.bin", b"")
    for name in ("readonly.bin", "empty.bin"):
        r = run(name)
        c.eq(f"single {name}", (r.rc, r.lines), (0, ["done."]))
        c.true(f"{name} gone", not os.path.exists(s.p(name)))

    # The neutral name is taken: the move fails, the file goes under its own
    # name and the existing file is left as it was.
    s.write(ERASED, b"someone else's file")
    s.write("victim.txt", size=100)
    r = run("victim.txt")
    c.eq("neutral name taken", (r.rc, r.lines), (0, ["done."]))
    c.true("victim gone", not os.path.exists(s.p("victim.txt")))
    with open(s.p(ERASED), "rb") as f:
        c.eq("existing neutral file untouched", f.read(), b"someone else's file")
    os.remove(s.p(ERASED))

    # A link named on the command line goes as a name; its target stays.
    target = s.write("target.txt", b"precious")
    os.symlink("target.txt", s.p("link.txt"))
    r = run("link.txt")
    c.eq("link named", (r.rc, r.lines), (0, ["done."]))
    c.true("link removed", not os.path.lexists(s.p("link.txt")))
    with open(target, "rb") as f:
        c.eq("link target intact", f.read(), b"precious")
    os.remove(target)

    # A FIFO cannot be opened as a file to overwrite (and must not hang).
    os.mkfifo(s.p("pipe"))
    r = run("pipe")
    c.eq("fifo", (r.rc, r.lines), (2, ["error opening pipe file"]))
    os.remove(s.p("pipe"))
    os.rmdir(s.p("adir"))

# Pattern form.
with Scratch() as s:
    def run(*args):
        return run_native(testcfg, list(args), s.path)

    r = run("*.tmp")
    c.eq("pattern, no match", (r.rc, r.lines), (1, ["No matching files found."]))
    os.mkdir(s.p("dir.tmp"))
    r = run("*.tmp")
    c.eq("pattern matching only a directory", (r.rc, r.lines), (1, ["No matching files found."]))
    c.true("matched directory kept", os.path.isdir(s.p("dir.tmp")))

    for n in ("sub/a.log", "sub/b.log", "sub/c.txt", "top.log", "sub/.hidden.log", "sub/UP.LOG"):
        s.write(n, size=10)
    r = run("sub/*.log")
    c.eq("sub/*.log", (r.rc, r.lines), (0, ["done."]))
    c.eq("sub/*.log leaves the rest", sorted(os.listdir(s.p("sub"))), ["UP.LOG", "c.txt"])
    c.true("top.log kept", os.path.exists(s.p("top.log")))

    # A link met in a match goes as a name; a link to a directory is skipped
    # like a directory.
    s.write("keep/file.txt", b"keep me")
    os.symlink("keep/file.txt", s.p("sub/ln.txt"))
    os.symlink("../keep", s.p("sub/lndir.txt"))
    r = run("sub/*.txt")
    c.eq("sub/*.txt with links", (r.rc, r.lines), (0, ["done."]))
    c.eq("sub after links", sorted(os.listdir(s.p("sub"))), ["UP.LOG", "lndir.txt"])
    with open(s.p("keep/file.txt"), "rb") as f:
        c.eq("link target in pattern intact", f.read(), b"keep me")

    # One match fails, one succeeds: both summary lines, exit 0.
    os.mkfifo(s.p("sub/fifo.dat"))
    s.write("sub/ok.dat", size=10)
    r = run("sub/*.dat")
    c.eq("pattern, one failure", (r.rc, r.lines),
         (0, ["error opening sub/fifo.dat file", "Some files couldn't be erased.", "done."]))
    r = run("sub/*.dat")
    c.eq("pattern, every match failed", (r.rc, r.lines),
         (1, ["error opening sub/fifo.dat file", "Some files couldn't be erased."]))

    # A path too long for its buffer is an error for that entry, never a
    # shortened path that could name another file.
    deep = s.p("d" * 200)
    os.mkdir(deep)
    longname = "f" * 70
    with open(os.path.join(deep, longname), "wb") as f:
        f.write(b"long")
    with open(os.path.join(deep, "short"), "wb") as f:
        f.write(b"short")
    pattern = "d" * 200 + "/*"
    r = run(pattern)
    c.eq("too long path", (r.rc, r.lines),
         (0, [f"error opening {'d' * 200}/{longname} file", "Some files couldn't be erased.", "done."]))
    c.eq("too long file left", os.listdir(deep), [longname])

    # Directory form without a match never asks.
    s.write("afile", b"x")
    for args in (["-d"], ["-d", "afile"], ["-d", "nosuch*"]):
        r = run(*args)
        c.eq(f"directory form {args}", (r.rc, r.lines), (1, ["No matching directories found."]))

c.done()

"""Korwipe.exe (the win64 build, or the shipped win32 one under 32-bit Wine)
under Wine: the command-line forms, their messages and exit codes, Windows
matching rules and the neutral name."""
import os

from checks import Checks
from wine import WinePrefix
from wipetest import ERASED_ON_WINDOWS, USAGE, MoveWatch, programs, wine_result, winpath, write_file

shipped, testcfg = programs()
c = Checks()

with WinePrefix("korwipe") as wp:
    s = wp.scratch
    # Standard error is checked below: Wine's services start beforehand.
    wp.hold()

    errors = []

    def run(*args):
        r = wp.run(shipped, list(args))
        # Ordinary files on Wine's drives get no warning, and nothing else
        # appears on standard error either.
        if r.err:
            errors.append((args, r.err))
        return wine_result(r)

    def write(rel, data):
        return write_file(s, rel, data)

    for args in ([], ["a", "b"], ["-D", "x"]):
        r = run(*args)
        c.eq(f"usage {args}", (r.rc, r.lines), (1, [USAGE]))

    r = run("nosuch.txt")
    c.eq("missing file", (r.rc, r.lines), (2, ["error opening nosuch.txt file"]))
    os.mkdir(os.path.join(s, "adir"))
    r = run("adir")
    c.eq("directory named as a file", (r.rc, r.lines), (2, ["error opening adir file"]))

    # Read-only, zero-length and 16 MiB + 1 byte files in one pattern run;
    # the Unix mode 0444 is what Wine shows as the read-only attribute.
    ro = write("ro.bin", b"r" * 3000)
    os.chmod(ro, 0o444)
    write("empty.bin", b"")
    write("big.bin", b"\x00" * (16 * 1024 * 1024 + 1))
    r = run("*.bin")
    c.eq("read-only, empty, 16 MiB + 1", (r.rc, r.lines), (0, ["done."]))
    c.eq("all three gone", sorted(n for n in os.listdir(s) if n.endswith(".bin")), [])

    # The move to the neutral name, as the kernel saw it: the name the Win32
    # path rules make of it, without the final period (Wine's native rename
    # would keep a period it was given).
    write("victim.txt", b"v" * 100)
    with MoveWatch(s) as moves:
        r = run("victim.txt")
    c.eq("moved to the neutral name, then deleted", (r.rc, r.lines, moves.moved, sorted(os.listdir(s))),
         (0, ["done."], [ERASED_ON_WINDOWS], ["adir"]))

    # The neutral name is taken: the file is not moved over it, it is deleted
    # under its own name, and the existing one is left alone.
    write(ERASED_ON_WINDOWS, b"not ours")
    write("victim.txt", b"v" * 100)
    with MoveWatch(s) as moves:
        r = run("victim.txt")
    c.eq("neutral name taken", (r.rc, r.lines, moves.moved, os.path.exists(os.path.join(s, "victim.txt"))),
         (0, ["done."], [], False))
    with open(os.path.join(s, ERASED_ON_WINDOWS), "rb") as f:
        c.eq("existing neutral file untouched", f.read(), b"not ours")
    os.remove(os.path.join(s, ERASED_ON_WINDOWS))

    # A verbatim path is a name: its prefix's ? is no wildcard. A missing
    # file, a directory and a name ending in a period are the single-file
    # form's (2), an existing file is erased, and only a * or ? after the
    # prefix makes a pattern.
    verbatim = "\\\\?\\" + winpath(s)
    for name in ("nosuch.txt", "adir", "nosuch.txt."):
        r = run(verbatim + "\\" + name)
        c.eq(f"verbatim {name}", (r.rc, r.lines), (2, [f"error opening {verbatim}\\{name} file"]))
    write("plain.txt", b"p" * 100)
    r = run(verbatim + "\\plain.txt")
    c.eq("verbatim file", (r.rc, r.lines, os.path.exists(os.path.join(s, "plain.txt"))), (0, ["done."], False))
    write("v1.log", b"l" * 10)
    r = run(verbatim + "\\*.log")
    c.eq("verbatim pattern", (r.rc, r.lines, os.path.exists(os.path.join(s, "v1.log"))), (0, ["done."], False))
    r = run(verbatim + "\\*.none")
    c.eq("verbatim pattern without a match", (r.rc, r.lines), (1, ["No matching files found."]))

    r = run("*.tmp")
    c.eq("no match", (r.rc, r.lines), (1, ["No matching files found."]))

    # Backslash separator, case-insensitive matching; directories skipped.
    for n in ("sub/a.log", "sub/UP.LOG", "sub/c.txt", "sub/d.log/inner"):
        write(n, b"x" * 10)
    r = run("sub\\*.log")
    c.eq("sub\\*.log", (r.rc, r.lines), (0, ["done."]))
    c.eq("sub after", sorted(os.listdir(os.path.join(s, "sub"))), ["c.txt", "d.log"])

    # One match that cannot be opened (a FIFO is no disk file) beside one
    # that can: both summary lines; alone: only the failure line.
    os.mkfifo(os.path.join(s, "sub", "pipe.dat"))
    write("sub/ok.dat", b"x")
    r = run("sub\\*.dat")
    c.eq("one of two fails", (r.rc, r.lines),
         (0, ["error opening sub\\pipe.dat file", "Some files couldn't be erased.", "done."]))
    r = run("sub/*.dat")
    c.eq("every match fails (slash separator)", (r.rc, r.lines),
         (1, ["error opening sub/pipe.dat file", "Some files couldn't be erased."]))

    for args in (["-d"], ["-d", "sub\\c.txt"]):
        r = run(*args)
        c.eq(f"directory form {args}", (r.rc, r.lines), (1, ["No matching directories found."]))

    c.eq("standard error of every run", errors, [])

c.done()

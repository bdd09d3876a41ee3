"""Korwipe.exe under Wine: links to directories. Wine 8 cannot make Windows
links (CreateSymbolicLink and mklink create nothing, FSCTL_SET_REPARSE_POINT
is refused), but it shows a POSIX link to a directory as a directory with the
reparse attribute and tag 0, which the program must take as a directory link:
refused in the single-file form, skipped by the pattern form, never entered
by the walk. (A POSIX link to a file is invisible to Windows programs under
Wine: it looks like the file itself.)"""
import os

from checks import Checks
from wine import WinePrefix
from wipetest import (NO_CONSOLE, PROMPT_ONE, answer, programs, snapshot, wine_result,
                      write_file)

shipped, testcfg = programs()
c = Checks()


with WinePrefix("korwipe") as wp:
    s = wp.scratch

    def write(rel, data=b"x" * 100):
        write_file(s, rel, data)

    write("target/inner.txt", b"precious")
    os.symlink("target", os.path.join(s, "ldir"))

    # Single-file form: refused like a directory, with or without a
    # trailing backslash; nothing touched.
    for name in ("ldir", "ldir\\"):
        before = snapshot(s)
        r = wine_result(wp.run(shipped, [name]))
        c.eq(f"{name}: output", (r.rc, r.lines), (2, [f"error opening {name} file"]))
        c.eq(f"{name}: nothing touched", snapshot(s), before)

    # Pattern form: the directory link is skipped, the file beside it erased.
    write("lplain.txt")
    r = wine_result(wp.run(shipped, ["l*"]))
    c.eq("pattern: output", (r.rc, r.lines), (0, ["done."]))
    c.eq("pattern: link and target left", snapshot(s), {"ldir": "-> target", "target": "dir",
                                                        "target/inner.txt": b"precious"})

    # The walk never enters a directory link; the file beside it goes.
    write("top/f")
    os.symlink("../target", os.path.join(s, "top", "ld"))
    for attempt in range(2):
        r, screen, _ = answer(wp.argv(shipped, ["-d", "top"]), s, wp.env(), ["y"], pause=0.5)
        if r.lines[-1:] != [NO_CONSOLE]:
            break
        print(f"note: no console on a pty under Wine (attempt {attempt + 1}), starting again")
    c.eq("walk: question and first line", r.lines[:3], [PROMPT_ONE, "", "Erasing directory top\\"])
    c.true("walk: link not entered", "Erasing directory top\\ld\\" not in r.lines, r.lines)
    # Windows removes a junction as an empty directory; Wine 8 cannot remove
    # a POSIX link that way and says so. Either way it is never left silently.
    c.true("walk: link removed or reported", not os.path.lexists(os.path.join(s, "top", "ld"))
           or 'error erasing "top\\ld" file' in r.lines, r.lines)
    c.true("walk: file beside the link erased", not os.path.exists(os.path.join(s, "top", "f")))
    c.eq("walk: target intact", snapshot(os.path.join(s, "target")), {"inner.txt": b"precious"})

c.done()

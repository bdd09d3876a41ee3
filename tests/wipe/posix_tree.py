"""Korwipe on Linux: the directory form answered yes through a terminal, the
order of the walk, links inside trees, and failures inside trees."""
import os

from checks import Checks
from wipetest import PROMPT_MANY, PROMPT_ONE, Scratch, answer, native_env, programs

shipped, testcfg = programs()
c = Checks()


def yes(s, *args):
    r, screen, _ = answer([testcfg] + list(args), s.path, native_env(), ["y"])
    return r


with Scratch() as s:
    # Files at three levels, and links to a file and a directory outside the
    # tree: the walk removes the links as names and never enters them.
    for n in ("top/f1", "top/a/f2", "top/a/b/f3", "top/a/b/.dot"):
        s.write(n, size=2000)
    s.write("keep.txt", b"keep")
    s.write("keepdir/inner.txt", b"inner")
    os.symlink("../../keep.txt", s.p("top/a/lnfile"))
    os.symlink("../../keepdir", s.p("top/a/lndir"))
    ro = s.write("top/a/b/readonly", size=10)
    os.chmod(ro, 0o400)
    r = yes(s, "-d", "top")
    c.eq("three levels", (r.rc, r.lines),
         (0, [PROMPT_ONE, "", "Erasing directory top/", "Erasing directory top/a/",
              "Erasing directory top/a/b/", "done."]))
    c.true("tree removed", not os.path.exists(s.p("top")))
    with open(s.p("keep.txt"), "rb") as f:
        c.eq("file link target intact", f.read(), b"keep")
    with open(s.p("keepdir/inner.txt"), "rb") as f:
        c.eq("directory link target intact", f.read(), b"inner")

    # Two matches, one failing deep down: the failing file stays, so do its
    # directory and every one above; the sibling and the other match go.
    s.write("x1/f", size=10)
    s.write("x2/s/deeper/ok", size=10)
    os.mkfifo(s.p("x2/s/fifo"))
    s.write("x2/t/f", size=10)
    r = yes(s, "-d", "x*")
    body = r.lines[2:]
    c.eq("one of two fails: summary", (r.rc, r.lines[:2], body[-2:]),
         (0, [PROMPT_MANY, ""], ["Some directories couldn't be erased.", "done."]))
    c.true("failing file reported", "error opening x2/s/fifo file" in body, body)
    c.true("every directory entered", {"Erasing directory x1/", "Erasing directory x2/",
                                        "Erasing directory x2/s/", "Erasing directory x2/t/",
                                        "Erasing directory x2/s/deeper/"} <= set(body), body)
    c.true("parent before child", body.index("Erasing directory x2/") < body.index("Erasing directory x2/s/"))
    c.eq("what is left", sorted(os.path.relpath(os.path.join(d, n), s.path)
                                for d, ds, fs in os.walk(s.p("x2")) for n in ds + fs),
         ["x2/s", "x2/s/fifo"])
    c.true("x1 removed", not os.path.exists(s.p("x1")))

    r = yes(s, "-d", "x*")
    c.eq("every match fails", (r.rc, r.lines[-1], "done." in r.lines),
         (1, "Some directories couldn't be erased.", False))

    # Plural follows the wildcard, not the count; odd names are taken as they are.
    os.makedirs(s.p("50%off"))
    r = yes(s, "-d", "5*")
    c.eq("percent name, one match, plural", (r.rc, r.lines),
         (0, [PROMPT_MANY, "", "Erasing directory 50%off/", "done."]))

    # A link to a directory is no directory to erase: nothing matches, nothing
    # is asked, link and target stay.
    os.symlink("keepdir", s.p("lnk"))
    r = yes(s, "-d", "lnk")
    c.eq("named link", (r.rc, r.lines), (1, ["No matching directories found."]))
    c.true("named link and target kept", os.path.islink(s.p("lnk"))
           and os.path.exists(s.p("keepdir/inner.txt")))

    # Inside a tree, an entry whose full path does not fit its buffer is an
    # error for that entry (never a shortened path): it stays, and so do the
    # directories above it.
    deep = "L" * 120 + "/" + "M" * 120
    s.write(deep + "/" + "n" * 30, b"too long")
    s.write(deep + "/ok", b"fits")
    r = yes(s, "-d", "L" * 120)
    c.eq("too long inside a tree", (r.rc, r.lines[2:]),
         (1, [f"Erasing directory {'L' * 120}/", f"Erasing directory {deep}/",
              f"error opening {deep}/{'n' * 30} file", "Some directories couldn't be erased."]))
    c.eq("too long entry left", os.listdir(s.p(deep)), ["n" * 30])

c.done()

"""Korwipe.exe under Wine: names that the ANSI code page cannot hold.

Wine gets the locale C.UTF-8: it reads file names and arguments as UTF-8, and
the program's ANSI code page is 1252 (checked through the value Wine sets
from the locale). A name found in UTF-16 only, such as "..＼bs-mid" with
U+FF3C, has no exact form in 1252, and the nearest one the conversion gives
("best fit") is "..\\bs-mid": a path to another file. U+FF0F and U+2215 turn
into "/", U+FF0E into ".", U+FF1A into ":". Such names are planted in top/
and top/sub/, with the files their nearest forms lead to outside top. Both
forms must report every planted name as a file they could not open, never
show or use its nearest form, erase the ordinary files beside them and
change nothing outside top. An argument that reaches the program in UTF-16
only is refused the same way.
"""
import os
import shutil
from collections import Counter

from checks import Checks
from wine import WinePrefix
from wipetest import PROMPT_ONE, answer_wine, programs, snapshot, wine_result, write_file

shipped, testcfg = programs()
c = Checks()

ENV = {"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}
NEAREST = str.maketrans({"＼": "\\", "／": "/", "∕": "/", "．": ".", "：": ":"})

# Planted name (below the current directory w/) -> the file outside top that
# its nearest form names, relative to the scratch folder (None: none).
PLANTED = {
    "top/＼..＼bs-start": "w/bs-start", "top/..＼bs-mid": "w/bs-mid", "top/bs-end＼": None,
    "top/..＼..＼x": "x",
    "top/／..／sl-start": "w/sl-start", "top/..／sl-mid": "w/sl-mid", "top/sl-end／": None,
    "top/∕..∕dv-start": "w/dv-start", "top/..∕dv-mid": "w/dv-mid", "top/dv-end∕": None,
    # "..", the current directory itself; and the ordinary files beside them.
    "top/．．": None, "top/．．＼dots": "w/dots", "top/plain．txt": None, "top/x．": None,
    "top/：colon": None, "top/co：lon": None, "top/colon：": None,
    "top/sub/..＼..＼y": "w/y",
}
# Ordinary names: the last one in 1252 but not in Latin-1.
ORDINARY = ["top/plain.txt", "top/x", "top/sub/plain.txt", "top/œuvre€.txt"]
# Typed in w/: argument -> the file its nearest form names.
ARGS = {"..＼argv-bs": "argv-bs", "．．∕argv-dots": "argv-dots", "victim．txt": "w/victim.txt"}

ERROR, FILE = "error opening ", " file"

with WinePrefix("korwipe-bestfit") as wp:
    s = wp.scratch
    w = os.path.join(s, "w")
    top = os.path.join(w, "top")

    acp = wp.run("reg", ["query", r"HKLM\System\CurrentControlSet\Control\Nls\CodePage", "/v", "ACP"], env=ENV)
    c.true("ANSI code page 1252", any(l.split() == ["ACP", "REG_SZ", "1252"] for l in acp.lines), acp.lines)

    def outside(fresh=False):
        """Everything outside top; fresh: the files the nearest forms name
        written anew first, so that each run shows its own damage."""
        if fresh:
            for rel in [t for t in PLANTED.values() if t] + list(ARGS.values()):
                write_file(s, rel, b"outside " + rel.encode())
        return {k: v for k, v in snapshot(s).items() if not (k + "/").startswith("w/top/")}

    def changed(before):
        after = outside()
        return sorted(k for k in before.keys() | after.keys() if before.get(k) != after.get(k))

    def nearest(rel):
        """The path the program would form with the nearest form of the name."""
        folder, name = os.path.split(rel)
        return (folder.replace("/", "\\") + "\\" if folder else "") + name.translate(NEAREST)

    # form, arguments, folders it erases, exit code and lines other than
    # the error lines
    FORMS = [("top\\*", ["top\\*"], ["top"], 0, ["Some files couldn't be erased.", "done."]),
             ("-d top", ["-d", "top"], ["top/sub", "top"], 1,
              [PROMPT_ONE, "", "Erasing directory top\\", "Erasing directory top\\sub\\",
               "Some directories couldn't be erased."])]
    for form, args, folders, rc, lines in FORMS:
        shutil.rmtree(top, ignore_errors=True)
        planted = [p for p in PLANTED if os.path.dirname(p) in folders]
        ordinary = [o for o in ORDINARY if os.path.dirname(o) in folders]
        for rel in PLANTED:
            write_file(w, rel, b"planted " + rel.encode())
        for rel in ORDINARY:
            write_file(w, rel, b"ordinary")
        before = outside(fresh=True)
        if form.startswith("-d"):
            r = answer_wine(wp, shipped, args, w, ["y"], env=ENV)
        else:
            r = wine_result(wp.run(shipped, args, cwd=w, env=ENV))

        c.eq(f"{form}: files changed outside top", changed(before), [])
        left = {}
        for rel in planted:
            if os.path.isfile(os.path.join(w, rel)):
                with open(os.path.join(w, rel), "rb") as f:
                    left[rel] = f.read()
        c.eq(f"{form}: planted files left", left, {rel: b"planted " + rel.encode() for rel in planted})
        c.eq(f"{form}: ordinary files left", [o for o in ordinary if os.path.exists(os.path.join(w, o))], [])

        errors = [l[len(ERROR):-len(FILE)] for l in r.lines if l.startswith(ERROR) and l.endswith(FILE)]
        # Each error line counted for the folder it names (the deepest first).
        where = Counter(next((f for f in folders if e.startswith(f.replace("/", "\\") + "\\")), e) for e in errors)
        c.eq(f"{form}: error lines per folder", where, Counter(os.path.dirname(p) for p in planted))
        c.eq(f"{form}: names shown as their nearest form", sorted(set(errors) & {nearest(p) for p in planted}), [])
        c.eq(f"{form}: exit code and other lines",
             (r.rc, [l for l in r.lines if not (l.startswith(ERROR) and l.endswith(FILE))]), (rc, lines))

    # The single-file form: the argument Wine hands on in UTF-16.
    for arg in ARGS:
        before = outside(fresh=True)
        r = wine_result(wp.run(shipped, [arg], cwd=w, env=ENV))
        c.eq(f"{arg}: files changed outside top", changed(before), [])
        refused = [l.startswith(ERROR) and l.endswith(FILE) and l[len(ERROR):-len(FILE)] != nearest(arg)
                   for l in r.lines]
        c.eq(f"{arg}: exit code, one error line not showing the nearest form ({r.lines})", (r.rc, refused),
             (2, [True]))

c.done()

"""Korwipe on Linux against a file of the tree exchanged for a link.

The attack: while Korwipe erases top/x, a thread keeps exchanging it
(renameat2 RENAME_EXCHANGE, so the name is never missing) with an object of
the attacker's outside the tree: a symbolic link to an outside file, or a
hard link to it. Whenever Korwipe checks the name and then moves or deletes
it, the name may by then hold the other object. Korwipe runs in a private
current directory of its own (where erased files pass through the neutral
name). In each form, and once with the neutral name taken so that the file
is deleted where it lies, every try must leave:

- the outside file as it was;
- nothing new in the current directory (no swapped-in object moved there);
- no overwritten file of the tree still linked anywhere unless the output
  names it in an error line and the run reports the failure.

The test counts the tries in which exchanges happened while Korwipe ran and
fails as "not measured" when fewer than half did.
"""
import os
import threading

from checks import Checks, skip
from wipetest import ERASED, Scratch, exchanger, programs, run_form

TRIES = int(os.environ.get("KOR_EXCHANGE_TRIES", "200"))
SECRET = b"outside, never to be touched " * 40
ORIGINAL = bytes((i * 7 + 3) & 0xFF for i in range(3000))

shipped, testcfg = programs()
c = Checks()
def names_of(root, ino):
    """Every name under root of the inode ino."""
    out = []
    for d, ds, fs in os.walk(root):
        for n in ds + fs:
            p = os.path.join(d, n)
            if os.lstat(p).st_ino == ino:
                out.append(os.path.relpath(p, root))
    return out


def read(path):
    with open(path, "rb") as f:
        return f.read()


# form, arguments (run in cwd/), the summary line a failure must bring (None:
# the exit code says it), whether the neutral name is taken beforehand
FORMS = [
    ("single", ["../top/x"], None, False),
    ("single, neutral name taken", ["../top/x"], None, True),
    ("pattern", ["../top/*"], "Some files couldn't be erased.", False),
    ("-d", ["-d", "../top"], "Some directories couldn't be erased.", False),
]
OBJECTS = ["symbolic link", "hard link"]


def one_try(form, args, summary, taken, obj):
    """One run under attack; returns (exchanges while it ran, faults)."""
    with Scratch() as s:
        s.write("outside/secret", SECRET)
        s.write("top/x", ORIGINAL)
        os.makedirs(s.p("cwd"))
        os.makedirs(s.p("hold"))
        if taken:
            s.write("cwd/" + ERASED, b"someone's own")
        if obj == "symbolic link":
            os.symlink(s.p("outside/secret"), s.p("hold/obj"))
        else:
            os.link(s.p("outside/secret"), s.p("hold/obj"))
        ino = os.lstat(s.p("top/x")).st_ino
        cwd_before = {n: read(s.p("cwd", n)) for n in os.listdir(s.p("cwd"))}
        stop, count = threading.Event(), [0]
        t = threading.Thread(target=exchanger, args=(s.p("top/x"), s.p("hold/obj"), stop, count))
        t.start()
        try:
            r = run_form(testcfg, args, s.p("cwd"))
        finally:
            stop.set()
            t.join()
        faults = []
        if r.rc < 0:
            faults.append(f"killed or hung ({r.rc})")
        if read(s.p("outside/secret")) != SECRET:
            faults.append("the outside file changed")
        cwd_after = {}
        for n in os.listdir(s.p("cwd")):
            p = s.p("cwd", n)
            cwd_after[n] = "-> " + os.readlink(p) if os.path.islink(p) else read(p)
        if cwd_after != cwd_before:
            faults.append(f"the current directory changed: {sorted(cwd_after)}")
        left = names_of(s.path, ino)
        if left:
            overwritten = read(s.p(left[0])) != ORIGINAL
            named = any(l.startswith("error ") and ("top/x" in l or ERASED in l) for l in r.lines)
            failed = (r.rc != 0) if summary is None else (summary in r.lines)
            if overwritten and not (named and failed):
                faults.append(f"overwritten file left as {left} without its error and failure: {r.lines}")
        return count[0], faults


for form, args, summary, taken in FORMS:
    for obj in OBJECTS:
        case = f"{form}, {obj}"
        swapped, faulty, examples = 0, 0, []
        for _ in range(TRIES):
            n, faults = one_try(form, args, summary, taken, obj)
            swapped += n > 0
            if faults:
                faulty += 1
                examples = examples or faults
        print(f"{case}: {swapped} of {TRIES} tries swapped, {faulty} faulty", flush=True)
        c.true(f"{case}: swaps while Korwipe ran (not measured)", swapped >= TRIES // 2,
               f"only {swapped} of {TRIES} tries saw an exchange")
        c.eq(f"{case}: tries with a fault, of {TRIES} (first: {examples})", faulty, 0)

c.done()

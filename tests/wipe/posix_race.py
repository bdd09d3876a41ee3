"""Korwipe on Linux against a tree that another user changes while it runs.

A thread keeps swapping the subdirectory top/sub for a symbolic link to
victim/, a folder outside the tree that holds files of the same names as sub
and more of its own. Whenever the walk (-d top, answered y on the terminal)
or the pattern (top/sub/*) meets the name, it may be either; every try must
leave victim/ exactly as it was, end, and not crash. The spare name waits in
hold/, outside the tree, so that the walk never meets it.
"""
import os
import threading

from wipetest import Checks, Scratch, exchanger, programs, run_form, snapshot

TRIES = 200

shipped, testcfg = programs()
c = Checks()


def prepare(s):
    s.write("top/f1", size=300)
    s.write("top/sub/a.txt", size=300)
    s.write("top/sub/b.txt", size=300)
    for rel in ("a.txt", "b.txt", "only.txt", "inner/c.txt"):
        s.write("victim/" + rel, b"victim's own " + rel.encode())
    os.makedirs(s.p("hold"))
    os.symlink(s.p("victim"), s.p("hold/lnk"))


# form, a file it erases whatever the swaps do (it shows that the question
# was answered and the walk ran)
FORMS = [(["-d", "top"], "top/f1"), (["top/sub/*"], None)]

for args, witness in FORMS:
    form = " ".join(args)
    damaged, bad_rc, witness_left, swapped = 0, [], 0, 0
    for _ in range(TRIES):
        with Scratch() as s:
            prepare(s)
            before = snapshot(s.p("victim"))
            stop, count = threading.Event(), [0]
            # Until Korwipe removed the directory or the link: nothing left to swap.
            swapper = threading.Thread(target=exchanger, args=(s.p("top/sub"), s.p("hold/lnk"), stop, count))
            swapper.start()
            try:
                rc = run_form(testcfg, args, s.path).rc
            finally:
                stop.set()
                swapper.join()
            swapped += count[0] > 0
            damaged += snapshot(s.p("victim")) != before
            witness_left += witness is not None and os.path.exists(s.p(witness))
            if rc < 0:
                bad_rc.append(rc)
    # A swapper that fails at once would leave nothing attacked: then the
    # count of damage says nothing.
    c.true(f"{form}: tries with exchanges while Korwipe ran (not measured)", swapped >= TRIES // 2,
           f"only {swapped} of {TRIES}")
    c.eq(f"{form}: tries that changed the outside folder, of {TRIES}", damaged, 0)
    if witness:
        c.eq(f"{form}: tries that left {witness}", witness_left, 0)
    c.eq(f"{form}: runs killed by a signal or hung (exit codes)", bad_rc, [])

c.done()

"""Korwipe on Linux against a tree that another user changes while it runs.

A thread keeps swapping the subdirectory top/sub for a symbolic link to
victim/, a folder outside the tree that holds files of the same names as sub
and more of its own. Whenever the walk (-d top, answered y on the terminal)
or the pattern (top/sub/*) meets the name, it may be either; every try must
leave victim/ exactly as it was, end, and not crash. The spare name waits in
hold/, outside the tree, so that the walk never meets it.

The attack is counted: a try without a swap while Korwipe ran is made again,
and the test fails as not measured when too few tries were under attack;
where names cannot be swapped in one step it is skipped, saying so.
"""
import os

from checks import Checks, skip
from wipetest import Scratch, Swapper, exchange_unavailable, programs, run_form, snapshot

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


with Scratch() as s:
    why = exchange_unavailable(s.path)
    if why:
        skip(why)

# form, how it runs, a file it erases whatever the swaps do (it shows that
# the question was answered and the walk ran)
FORMS = [("-d top", lambda cwd: run_form(testcfg, ["-d", "top"], cwd).rc, "top/f1"),
         ("top/sub/*", lambda cwd: run_form(testcfg, ["top/sub/*"], cwd).rc, None)]

for form, run, witness in FORMS:
    damaged, bad_rc, witness_left, idle, broken, swaps = 0, [], 0, 0, [], []
    # A try in which no swap happened while Korwipe ran (it can end before
    # the swapping thread runs again) measured nothing: it is made again,
    # as many times as there are tries at most.
    while len(swaps) < TRIES and idle <= TRIES:
        with Scratch() as s:
            prepare(s)
            before = snapshot(s.p("victim"))
            with Swapper([(s.p("top/sub"), s.p("hold/lnk"))]) as swapper:
                started = swapper.swaps
                rc = run(s.path)
                during = swapper.swaps - started
            damaged += snapshot(s.p("victim")) != before
            witness_left += witness is not None and os.path.exists(s.p(witness))
            if rc < 0:
                bad_rc.append(rc)
            broken += swapper.broken
            if during:
                swaps.append(during)
            else:
                idle += 1
    print(f"note: {form}: {min(swaps, default=0)} to {max(swaps, default=0)} swaps while Korwipe ran; "
          f"{idle} tries without one made again")
    c.eq(f"{form}: tries with swaps while Korwipe ran", len(swaps), TRIES)
    c.eq(f"{form}: swaps that failed on a name still there", broken, [])
    c.eq(f"{form}: tries that changed the outside folder, of {len(swaps) + idle}", damaged, 0)
    if witness:
        c.eq(f"{form}: tries that left {witness}", witness_left, 0)
    c.eq(f"{form}: runs killed by a signal or hung (exit codes)", bad_rc, [])

c.done()

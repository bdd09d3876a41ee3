"""Korwipe.exe under Wine against a tree that another user changes while it
runs. A thread keeps swapping every subdirectory of top/ for a symbolic link
to victim/, a folder outside the tree that holds files of the same names and
more of its own (Wine shows such a link as a directory link, and follows it
when a path leads through it). Every run of the walk (-d top, answered y on
the terminal) and of the pattern (top\\sub\\*) must never enter victim/ (its
own files stay untouched), never write an outside file's contents, and end
with a documented exit code. The spare names wait in hold/, outside the tree,
so that the walk never meets them.

What Wine cannot give: Windows renames and deletes the object an open handle
holds, but Wine 8's server renames and deletes the path the handle was opened
by, looked up again at that moment. When a folder has been swapped for a link
since, the move to the neutral name can move the outside file of the same
name into the current directory instead (whole, its contents intact), and,
far more rarely, the delete can remove it. Such outside names are counted and
printed, not failed: the program's own part, everything it opens and writes,
is checked.

A Wine start takes a while, so each run gives the swaps many chances: the
walk passes 8 swapped subdirectories of 12 files each (104 names that may
have changed under it), the pattern 12 files in the swapped one. The swaps
are counted: a run without one while Korwipe.exe ran is made again, and the
test fails as not measured when too few runs were under attack; where names
cannot be swapped in one step it is skipped, saying so.
"""
import os
import shutil

from checks import Checks, skip
from wine import WinePrefix
from wipetest import (ERASED_ON_WINDOWS, Swapper, answer_wine, exchange_unavailable, programs, snapshot,
                      wine_result, write_file)

WALKS, PATTERNS = 10, 30
SUBS = ["sub"] + [f"s{i}" for i in range(1, 8)]
FILES = [f"f{i:02}.txt" for i in range(12)]

shipped, testcfg = programs()
c = Checks()


def prepare(root):
    write_file(root, "top/f1", b"x" * 300)
    for sub in SUBS:
        for name in FILES:
            write_file(root, f"top/{sub}/{name}", b"x" * 300)
    for rel in FILES + ["only.txt", "inner/c.txt"]:
        write_file(root, "victim/" + rel, b"victim's own " + rel.encode())
    os.makedirs(os.path.join(root, "hold"))
    for sub in SUBS:
        os.symlink(os.path.join(root, "victim"), os.path.join(root, "hold", sub))


with WinePrefix("korwipe-race") as wp:
    why = exchange_unavailable(wp.scratch)
    if why:
        skip(why)
    # form, runs, how one runs in a folder, a file it erases whatever the
    # swaps do (it shows that the question was answered and the walk ran)
    FORMS = [("-d top", WALKS, lambda cwd: answer_wine(wp, shipped, ["-d", "top"], cwd, ["y"], pause=0.3), "top/f1"),
             ("top\\sub\\*", PATTERNS, lambda cwd: wine_result(wp.run(shipped, ["top\\sub\\*"], cwd=cwd)), None)]
    for form, runs, run, witness in FORMS:
        damaged, bad_rc, witness_left, moved, idle, broken, swaps = 0, [], 0, 0, 0, [], []
        # A run without a swap while it lasted measured nothing: made again,
        # as many times as there are runs at most.
        while len(swaps) < runs and idle <= runs:
            root = os.path.join(wp.scratch, f"run-{len(swaps) + idle}")
            prepare(root)
            before = snapshot(os.path.join(root, "victim"))
            pairs = [(os.path.join(root, "top", sub), os.path.join(root, "hold", sub)) for sub in SUBS]
            with Swapper(pairs) as swapper:
                started = swapper.swaps
                r = run(root)
                during = swapper.swaps - started
            broken += swapper.broken
            if during:
                swaps.append(during)
            else:
                idle += 1
            after = snapshot(os.path.join(root, "victim"))
            moved_by_wine = {rel: data for rel, data in before.items() if rel not in after and rel in FILES}
            kept = {rel: data for rel, data in before.items() if rel not in moved_by_wine}
            neutral = os.path.join(root, ERASED_ON_WINDOWS)
            if os.path.isfile(neutral):
                with open(neutral, "rb") as f:
                    stray = f.read()
                # Only an outside file moved whole by Wine's rename may lie there.
                damaged += stray not in moved_by_wine.values()
            damaged += after != kept
            moved += len(moved_by_wine)
            witness_left += witness is not None and os.path.exists(os.path.join(root, witness))
            if r.rc not in (0, 1):
                bad_rc.append(r.rc)
            shutil.rmtree(root)
        print(f"note: {form}: {min(swaps, default=0)} to {max(swaps, default=0)} swaps while Korwipe.exe ran; "
              f"{idle} runs without one made again")
        c.eq(f"{form}: runs with swaps while Korwipe.exe ran", len(swaps), runs)
        c.eq(f"{form}: swaps that failed on a name still there", broken, [])
        c.eq(f"{form}: runs that entered the outside folder or wrote an outside file, of {len(swaps) + idle}",
             damaged, 0)
        print(f"note: {form}: {moved} outside names moved or removed by Wine's rename or delete by path")
        if witness:
            c.eq(f"{form}: runs that left {witness}", witness_left, 0)
        c.eq(f"{form}: runs that crashed or hung (exit codes)", bad_rc, [])

c.done()

"""Korwipe on Linux: files erased side by side (the batch) get exactly the
bytes, the messages and the order they get erased one after the other
(KORWIPE_TEST_ONE_BY_ONE), for a tree of mixed sizes with failures in it."""
import os

from checks import Checks
from wipetest import Scratch, answer, native_env, programs, run_native, snapshots

shipped, testcfg = programs()
c = Checks()

# Empty, one byte, the pass thresholds, the batch's own limit (1 MiB) on
# either side, and more than one segment (a file that goes alone).
SIZES = [0, 1, 1023, 1024, 5119, 5120, 1 << 20, (1 << 20) + 1, (16 << 20) + 3]


def plant(s):
    for i, n in enumerate(SIZES):
        s.write(f"top/f{i:02}", b"\0" * n)
    for i, n in enumerate([3, 2000, 6000]):
        s.write(f"top/sub/g{i}", b"\0" * n)
    os.mkfifo(s.p("top/f04-fifo"))  # cannot be opened: its line comes in its place
    s.write("keep/h", b"other name")
    os.link(s.p("keep/h"), s.p("top/sub/h"))  # a warning in its place, contents kept


def run(args, one_by_one):
    with Scratch() as s:
        plant(s)
        env = {"KORWIPE_TEST_CLOCK": "2009-03-15 14:30:44", "KORWIPE_TEST_SNAPSHOT": s.p("snap")}
        if one_by_one:
            env["KORWIPE_TEST_ONE_BY_ONE"] = "1"
        os.mkdir(s.p("snap"))
        if args[0] == "-d":
            r, screen, _ = answer([testcfg] + args, s.path, native_env(env), ["y"])
            lines = r.lines + [screen.decode("latin-1").count("other links")]
        else:
            r = run_native(testcfg, args, s.path, env)
            lines = r.lines
        left = sorted(os.path.relpath(os.path.join(d, n), s.path) for d, ds, fs in os.walk(s.path)
                      for n in ds + fs if not os.path.join(d, n).startswith(s.p("snap")))
        return r.rc, lines, snapshots(s.p("snap")), left


for form, args in (("pattern", ["top/*"]), ("tree", ["-d", "top"])):
    alone = run(args, True)
    side = run(args, False)
    c.eq(f"{form}: exit code, lines in order", side[:2], alone[:2])
    c.eq(f"{form}: passes written", len(side[2]), len(alone[2]))
    c.true(f"{form}: every pass has the same bytes", side[2] == alone[2],
           [i for i, (a, b) in enumerate(zip(side[2], alone[2])) if a != b][:5])
    c.eq(f"{form}: what is left", side[3], alone[3])
    c.true(f"{form}: the failure is reported", any("f04-fifo" in str(x) for x in alone[1]), alone[1])
    c.true(f"{form}: passes were written", len(alone[2]) >= len(SIZES), len(alone[2]))

c.done()

"""Korwipe on Linux under a low descriptor limit (prlimit, soft and hard, so
that it cannot raise it): the batch must size itself to what is free, and no
file may fail for want of descriptors while 16 are free, in a flat folder, a
wide tree (directories held open until their turn) and a deep one. The
memory a folder of many subdirectories costs: bench/wipe/manydirs.py."""
import os

from checks import Checks, skip
from wipetest import PROMPT_ONE, Scratch, answer, native_env, programs, run_native

shipped, testcfg = programs()
c = Checks()
FLAT = [f"f{i}" for i in range(600)]
WIDE = [f"d{d}/{n}" for d in range(300) for n in ("f0", "f1", "empty/")]
DEEP = ["/".join(f"l{k}" for k in range(level)) + f"/f{i}" for level in range(1, 21) for i in range(30)]

for limit, tree, args in ((24, FLAT, ["-d", "top"]), (24, FLAT, ["top/*"]), (100, WIDE, ["-d", "top"]),
                          (48, DEEP, ["-d", "top"])):
    with Scratch() as s:
        for rel in tree:
            os.makedirs(s.p("top", rel)) if rel.endswith("/") else s.write("top/" + rel, size=100)
        argv = [f"--nofile={limit}:{limit}", testcfg] + args
        r = answer(["prlimit"] + argv, s.path, native_env(), ["y"])[0] if args[0] == "-d" \
            else run_native("prlimit", argv, s.path)
        rest = [line for line in r.lines if not line.startswith("Erasing directory ")]
        left = sum(len(fs) for _, _, fs in os.walk(s.p("top")))
        c.eq(f"{args} over {len(tree)} entries, limit {limit}: exit, other lines, files left",
             (r.rc, rest, left), (0, [PROMPT_ONE, "", "done."] if args[0] == "-d" else ["done."], 0))

c.done()

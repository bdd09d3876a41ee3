"""Korwipe on Linux under a low descriptor limit, and its memory per directory.

The batch holds files and directories open while it works; under a limit
of 100 descriptors or less (prlimit, soft and hard alike, so that Korwipe
cannot raise it) it must size itself to what is free: no file fails for
want of descriptors while 16 are free, in a flat folder, a wide tree or a
deep one.

Memory: a folder of 20,000 subdirectories may cost at most 150 bytes a
directory of peak memory over an empty folder (GNU time's maximum resident
set, as bench/wipe/manydirs.py measures it; nothing is timed).
"""
import os
import subprocess
import sys

from wipetest import PROMPT_ONE, Checks, Scratch, answer, native_env, programs

sys.path.insert(0, os.path.join(os.environ.get("KOR_SOURCE_DIR", ""), "bench", "wipe"))
from manydirs import peak_kib  # noqa: E402

shipped, testcfg = programs()
c = Checks()


def flat(s):
    for i in range(600):
        s.write(f"top/f{i}", size=100)


def wide(s):
    # Many directories, each held open until its turn to go.
    for d in range(300):
        for i in range(2):
            s.write(f"top/d{d}/f{i}", size=100)
        os.mkdir(s.p(f"top/d{d}/empty"))


def deep(s):
    path = "top"
    for level in range(20):
        for i in range(30):
            s.write(f"{path}/f{i}", size=100)
        path += f"/l{level}"


# case, descriptor limit, tree, arguments
CASES = [
    ("wide tree, limit 100", 100, wide, ["-d", "top"]),
    ("flat folder, limit 24", 24, flat, ["-d", "top"]),
    ("flat folder by pattern, limit 24", 24, flat, ["top/*"]),
    ("20 levels deep, limit 48", 48, deep, ["-d", "top"]),
]

def run(argv, cwd):
    """Exit code and standard output lines; the directory form is answered y
    on a terminal of its own."""
    if argv[3] == "-d":
        r, _, _ = answer(argv, cwd, native_env(), ["y"])
        return r.rc, r.lines
    p = subprocess.run(argv, cwd=cwd, env=native_env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.STDOUT, start_new_session=True, timeout=300)
    return p.returncode, p.stdout.decode("latin-1").splitlines()


for case, limit, make, args in CASES:
    with Scratch() as s:
        make(s)
        rc, lines = run(["prlimit", f"--nofile={limit}:{limit}", testcfg] + args, s.path)
        # Everything but the walk's own lines: no error line, done.
        rest = [line for line in lines if not line.startswith("Erasing directory ")]
        want = [PROMPT_ONE, "", "done."] if args[0] == "-d" else ["done."]
        c.eq(f"{case}: exit code and lines", (rc, rest), (0, want))
        left = [os.path.join(d, n) for d, ds, fs in os.walk(s.p("top")) for n in fs]
        c.eq(f"{case}: files left", len(left), 0)

# ---- memory per directory held -----------------------------------------------
COUNT = 20000
empty, empty_ok = peak_kib(testcfg, 0, None)
full, full_ok = peak_kib(testcfg, COUNT, None)
per = (full - empty) * 1024 / COUNT
print(f"peak {empty} KiB for an empty folder, {full} KiB for {COUNT} subdirectories: {per:.0f} bytes a directory")
c.true("both folders erased", empty_ok and full_ok)
c.true(f"bytes a directory over {COUNT} subdirectories", per <= 150, f"{per:.0f}, want at most 150")

c.done()

"""Korwipe on Linux: the question of the directory form, read key by key from
the terminal itself, and the answer "no" when there is no terminal."""
import os
import subprocess

from checks import Checks
from wipetest import (NO_CONSOLE, PROMPT_ONE, Result, Scratch, answer, native_env, programs,
                      run_native)

shipped, testcfg = programs()
c = Checks()

with Scratch() as s:
    def tree():
        s.write("d/f", size=100)
        s.write("d/sub/g", size=100)

    # Other keys, Enter among them, are echoed or ignored and do not end the
    # question; y then does.
    tree()
    r, screen, waiting = answer([testcfg, "-d", "d"], s.path, native_env(), ["x", "\r", "q", "y"],
                                still_asking_after=3)
    c.true("still asking after x, Enter, q", waiting is True)
    c.eq("x Enter q y", (r.rc, r.lines[:2], r.lines[-1]), (0, [PROMPT_ONE, ""], "done."))
    c.eq("echo of the keys", screen, b"xqy")
    c.true("erased after yes", not os.path.exists(s.p("d")))

    for key in ("n", "N"):
        tree()
        r, screen, _ = answer([testcfg, "-d", "d"], s.path, native_env(), ["k", key])
        c.eq(f"answer {key}", (r.rc, r.lines), (1, [PROMPT_ONE, ""]))
        c.eq(f"echo before {key}", screen, b"k" + key.encode())
        c.true(f"nothing erased after {key}", os.path.exists(s.p("d/sub/g")))

    # Keys typed ahead, all at once, are each echoed once: the terminal must
    # not echo them itself between two reads.
    tree()
    r, screen, _ = answer([testcfg, "-d", "d"], s.path, native_env(), ["xqkn"])
    c.eq("typed ahead", (r.rc, screen), (1, b"xqkn"))
    c.true("nothing erased after typed-ahead n", os.path.exists(s.p("d/sub/g")))

    tree()
    r, screen, _ = answer([testcfg, "-d", "d"], s.path, native_env(), ["\x1b[A", "Y"])
    c.eq("cursor key ignored, then Y", (r.rc, screen), (0, b"Y"))

    # No terminal at all: nobody can have said yes, even with "y" waiting on
    # standard input.
    tree()
    r = run_native(testcfg, ["-d", "d"], s.path)
    c.eq("no console", (r.rc, r.lines), (1, [PROMPT_ONE, NO_CONSOLE]))
    p = subprocess.run([testcfg, "-d", "d"], cwd=s.path, env=native_env(), input=b"y\ny\n",
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    r = Result(p.returncode, p.stdout.decode("latin-1"))
    c.eq("redirected input cannot answer", (r.rc, r.lines), (1, [PROMPT_ONE, NO_CONSOLE]))
    c.true("nothing erased without a console", os.path.exists(s.p("d/sub/g")))

c.done()

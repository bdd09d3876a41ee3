"""Korwipe on Linux against a tree that another user changes while it runs.

A thread keeps swapping the subdirectory top/sub for a symbolic link to
victim/, a folder outside the tree that holds files of the same names as sub
and more of its own. Whenever the walk (-d top, answered y on the terminal)
or the pattern (top/sub/*) meets the name, it may be either; every try must
leave victim/ exactly as it was, end, and not crash. The spare name waits in
hold/, outside the tree, so that the walk never meets it.
"""
import ctypes
import os
import subprocess
import termios
import threading
import time

from checks import Checks
from terminal import TerminalRun
from wipetest import Scratch, native_env, programs, snapshot

TRIES = 200
TIMEOUT = 60

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


libc = ctypes.CDLL(None, use_errno=True)
AT_FDCWD, RENAME_EXCHANGE = -100, 2


def exchange(a, b):
    """Swaps two names in one step, so that top/sub is never missing."""
    if libc.renameat2(AT_FDCWD, a.encode(), AT_FDCWD, b.encode(), RENAME_EXCHANGE) != 0:
        raise OSError(ctypes.get_errno(), os.strerror(ctypes.get_errno()), a)


def swap(s, stop):
    while not stop.is_set():
        try:
            exchange(s.p("top/sub"), s.p("hold/lnk"))
        except OSError:
            return  # Korwipe removed the directory or the link: nothing left to swap


def say_yes(args, cwd):
    """Runs the twin on a terminal of its own and types y as soon as it reads
    keys from it (the terminal has left line mode); the exit code, negative
    when it crashed or had to be killed."""
    t = TerminalRun([testcfg] + args, cwd=cwd, env=native_env())
    end = time.monotonic() + TIMEOUT
    while t.proc.poll() is None and time.monotonic() < end:
        if not termios.tcgetattr(t.master)[3] & termios.ICANON:
            t.send("y")
            break
        t._pump(0.001)
    return t.finish(TIMEOUT)


def run_plain(args, cwd):
    try:
        return subprocess.run([testcfg] + args, cwd=cwd, env=native_env(), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              start_new_session=True, timeout=TIMEOUT).returncode
    except subprocess.TimeoutExpired:
        return -9


# form, how it runs, a file it erases whatever the swaps do (it shows that
# the question was answered and the walk ran)
FORMS = [("-d top", lambda cwd: say_yes(["-d", "top"], cwd), "top/f1"),
         ("top/sub/*", lambda cwd: run_plain(["top/sub/*"], cwd), None)]

for form, run, witness in FORMS:
    damaged, bad_rc, witness_left = 0, [], 0
    for _ in range(TRIES):
        with Scratch() as s:
            prepare(s)
            before = snapshot(s.p("victim"))
            stop = threading.Event()
            swapper = threading.Thread(target=swap, args=(s, stop))
            swapper.start()
            try:
                rc = run(s.path)
            finally:
                stop.set()
                swapper.join()
            damaged += snapshot(s.p("victim")) != before
            witness_left += witness is not None and os.path.exists(s.p(witness))
            if rc < 0:
                bad_rc.append(rc)
    c.eq(f"{form}: tries that changed the outside folder, of {TRIES}", damaged, 0)
    if witness:
        c.eq(f"{form}: tries that left {witness}", witness_left, 0)
    c.eq(f"{form}: runs killed by a signal or hung (exit codes)", bad_rc, [])

c.done()

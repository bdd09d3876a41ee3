"""Korwipe on Linux, interrupted.

During the question the terminal is raw (no echo, no line editing, Ctrl-C a
key): SIGINT, SIGTERM, SIGHUP or SIGQUIT sent then must leave the terminal
as it was before the run, end the run as killed by that signal (the shell
shows 128 + signal) and erase nothing.

While it works: a SIGTERM at a random moment while many small files are
finished (moved to the neutral name and deleted, one after the other) must
never leave a file under the neutral name in the current directory.
Each try counts as an attack only when the run was really cut short in the
middle (killed by the signal, some files gone and some left); too few such
tries fail the test as not measured.
"""
import os
import pty
import random
import resource
import signal
import subprocess
import termios
import time

from terminal import TerminalRun
from wipetest import ERASED, PROMPT_ONE, Checks, Scratch, native_env, programs

FILES = 1000
TRIES = 60
MIN_ATTACKS = 30

shipped, testcfg = programs()
c = Checks()
# A SIGQUIT would otherwise leave a core file.
resource.setrlimit(resource.RLIMIT_CORE, (0, 0))


def is_raw(master):
    return not termios.tcgetattr(master)[3] & termios.ICANON


def wait_until(t, cond, timeout=30):
    end = time.monotonic() + timeout
    while not cond() and time.monotonic() < end:
        t._pump(0.002)
    return cond()


# ---- signals during the question -------------------------------------------
# Every new pty starts with the same settings: those are what must come back.
master, slave = pty.openpty()
before = termios.tcgetattr(master)
os.close(master)
os.close(slave)
for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
    name = signal.Signals(sig).name
    with Scratch() as s:
        s.write("d/f", size=100)
        t = TerminalRun([testcfg, "-d", "d"], cwd=s.path, env=native_env())
        asked = wait_until(t, lambda: b"[y/n]" in t.screen and is_raw(t.master))
        c.true(f"{name}: question asked on a raw terminal", asked, t.screen)
        t.proc.send_signal(sig)
        wait_until(t, lambda: t.proc.poll() is not None)
        after = termios.tcgetattr(t.master)
        rc = t.finish(30)
        c.eq(f"{name}: terminal settings after the run", after, before)
        c.eq(f"{name}: exit status (killed by the signal)", rc, -sig)
        c.true(f"{name}: nothing erased", os.path.exists(s.p("d/f")))
        c.true(f"{name}: no answer shown", PROMPT_ONE.encode() in t.screen and b"done." not in t.screen,
               t.screen)


# ---- a signal while files are erased ---------------------------------------
# The files are finished in listing order, one after the other, once all
# their passes are written; the signal is sent up to a millisecond after the
# first of them is gone (finishing them all takes several here).
def fill(s):
    os.mkdir(s.p("f"))
    for i in range(FILES):
        open(s.p("f", str(i)), "wb").close()
    return s.p("f", os.listdir(s.p("f"))[0])


def interrupt(proc, first, delay):
    """Waits until first is gone, then sends SIGTERM after delay."""
    end = time.monotonic() + 60
    while os.path.lexists(first) and proc.poll() is None and time.monotonic() < end:
        pass
    time.sleep(delay)
    proc.send_signal(signal.SIGTERM)


def run_pattern(s, first, delay):
    p = subprocess.Popen([testcfg, "f/*"], cwd=s.path, env=native_env(), stdin=subprocess.DEVNULL,
                         stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
    interrupt(p, first, delay)
    return p.wait(120)


def run_tree(s, first, delay):
    t = TerminalRun([testcfg, "-d", "f"], cwd=s.path, env=native_env(), stdout=subprocess.DEVNULL)
    wait_until(t, lambda: is_raw(t.master))
    t.send("y")
    interrupt(t.proc, first, delay)
    return t.finish(120)


random.seed(27)
for form, run in (("f/*", run_pattern), ("-d f", run_tree)):
    attacks, left, wrong_rc = 0, 0, []
    for _ in range(TRIES):
        with Scratch() as s:
            rc = run(s, fill(s), random.uniform(0, 0.001))
            remaining = len(os.listdir(s.p("f"))) if os.path.isdir(s.p("f")) else 0
            if rc == -signal.SIGTERM and 0 < remaining < FILES:
                attacks += 1
            elif rc not in (0, -signal.SIGTERM):
                wrong_rc.append(rc)
            left += os.path.lexists(s.p(ERASED))
    c.true(f"{form}: runs cut short while erasing, of {TRIES}", attacks >= MIN_ATTACKS,
           f"not measured: only {attacks} (want {MIN_ATTACKS})")
    c.eq(f"{form}: runs that left {ERASED!r} behind, of {attacks} cut short", left, 0)
    c.eq(f"{form}: exit codes other than done or killed by SIGTERM", wrong_rc, [])

c.done()

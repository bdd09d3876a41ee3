"""Korwipe on Linux, interrupted. A signal during the question (the terminal
raw) must give the terminal back as it was, erase nothing and end the run
killed by that signal (the shell's 128 + signal). A SIGTERM just after the
first of many files was finished must never leave a file under the neutral
name; a try counts as an attack only when the run was cut short with files
gone and files left, and too few attacks fail as not measured."""
import os
import pty
import random
import resource
import signal
import subprocess
import termios
import time

from terminal import TerminalRun
from checks import Checks, skip
from wipetest import ERASED, Scratch, native_env, programs

shipped, testcfg = programs()
c = Checks()
resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # a SIGQUIT would leave a core file
master, slave = pty.openpty()
fresh = termios.tcgetattr(master)  # what every new terminal starts with


def start(s, args, stdout=None):
    t = TerminalRun([testcfg] + args, cwd=s.path, env=native_env(), stdout=stdout)
    end = time.monotonic() + 30
    while args[0] == "-d" and termios.tcgetattr(t.master)[3] & termios.ICANON and time.monotonic() < end:
        t._pump(0.002)  # the question is up once the terminal is raw
    return t


for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP, signal.SIGQUIT):
    with Scratch() as s:
        s.write("d/f", size=100)
        t = start(s, ["-d", "d"])
        t.proc.send_signal(sig)
        t.proc.wait(30)
        after = termios.tcgetattr(t.master)
        c.eq(f"{sig.name}: exit, terminal, file kept", (t.finish(), after, os.path.exists(s.p("d/f"))),
             (-sig, fresh, True))

# A try whose signal came too early or too late attacked nothing (under
# load, most of them): tries go on until ATTACKS were cut short mid-run, at
# most MOST_TRIES.
FILES, ATTACKS, MOST_TRIES = 1000, 30, 180
random.seed(27)
for form in ("f/*", "-d f"):
    attacks = left = tries = 0
    while attacks < ATTACKS and tries < MOST_TRIES:
        tries += 1
        with Scratch() as s:
            os.mkdir(s.p("f"))
            for i in range(FILES):
                open(s.p("f", str(i)), "wb").close()
            first = s.p("f", os.listdir(s.p("f"))[0])  # the listing's order is the finishing order
            t = start(s, form.split(), subprocess.DEVNULL)
            t.send("y")  # the pattern form asks nothing: the key is never read
            end = time.monotonic() + 60
            while os.path.lexists(first) and t.proc.poll() is None and time.monotonic() < end:
                pass
            time.sleep(random.uniform(0, 0.001))
            t.proc.send_signal(signal.SIGTERM)
            rc = t.finish()
            remaining = len(os.listdir(s.p("f"))) if os.path.isdir(s.p("f")) else 0
            attacks += rc == -signal.SIGTERM and 0 < remaining < FILES
            left += os.path.lexists(s.p(ERASED))
    print(f"{form}: {attacks} of {tries} runs cut short while files were finished")
    c.true(f"{form}: runs cut short", attacks >= ATTACKS, f"not measured: {attacks} of {tries}")
    c.eq(f"{form}: runs that left {ERASED!r}", left, 0)

c.done()

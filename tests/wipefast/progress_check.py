"""Korwipe: the progress line of a long overwrite.

A file over 64 MiB erased in a terminal shows "NAME  pass 1/1  NN%  N MB/s"
on standard error, redrawn in place and wiped at the end; with standard error
redirected to a file nothing of it is shown anywhere, and a file of exactly
64 MiB gets no line. Output, exit code and the erase itself stay the same.

usage: progress_check.py posix KORWIPE_TESTCFG
       progress_check.py wine KORWIPE_TESTCFG_EXE

Under Wine the terminal is Wine's console on the pty, which redraws the line
with its own escape sequences; those are taken out before looking."""
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile

from checks import Checks
from terminal import TerminalRun

MIB = 1 << 20
mode, testcfg = sys.argv[1], sys.argv[2]
c = Checks()
CSI = re.compile(rb"\x1b\[([0-9;?]*)([A-Za-z])")


def plain(screen):
    """The screen's text: Wine's console moves the cursor over blanks rather
    than writing them, so a move to the right becomes that many blanks."""
    def one(m):
        if m.group(2) == b"C":
            return b" " * int(m.group(1) or b"1")
        return b""
    return CSI.sub(one, screen)


def make(path, size):
    # Written, not a hole: a hole is not overwritten, and takes no time.
    with open(path, "wb") as f:
        for at in range(0, size, MIB):
            f.write(b"\x5a" * min(MIB, size - at))


def run_with_stderr_file(argv, cwd, env, err_path):
    """stdin and stdout on a terminal, standard error into a file."""
    master, slave = pty.openpty()
    with open(err_path, "wb") as err:
        proc = subprocess.Popen(argv, cwd=cwd, env=env, stdin=slave, stdout=slave, stderr=err,
                                start_new_session=True)
    os.close(slave)
    screen = b""
    while True:
        r, _, _ = select.select([master], [], [], 0.1)
        if r:
            try:
                data = os.read(master, 65536)
            except OSError:
                data = b""
            if not data and proc.poll() is not None:
                break
            screen += data
        elif proc.poll() is not None:
            break
    proc.wait(timeout=300)
    os.close(master)
    return proc.returncode, screen


def checks(scratch, argv, env):
    big = os.path.join(scratch, "big.bin")

    # In a terminal: the line appears, then is wiped.
    make(big, 200 * MIB)
    t = TerminalRun(argv, cwd=scratch, env=env)
    rc = t.finish(timeout=300)
    screen = plain(t.screen)
    c.true("terminal: exit code", rc == 0, f"rc {rc}, screen {screen[-200:]!r}")
    c.true("terminal: file erased", not os.path.exists(big))
    lines = re.findall(rb"(?:^|\r)big\.bin  pass 1/1 +(\d+)%  (\d+) MB/s", screen)
    c.true("terminal: progress line shown", len(lines) >= 1, f"screen {screen[:300]!r}")
    c.true("terminal: percentages within 0..100",
          all(0 <= int(p) <= 100 for p, _ in lines), f"{lines!r}")
    last = screen.rfind(b"MB/s")
    wiped = re.match(rb"MB/s *\r +\r", screen[last:]) if last >= 0 else None
    c.true("terminal: line wiped before anything else is written", wiped is not None,
          f"tail {screen[last:]!r}")
    after = screen[last + wiped.end():] if wiped else b""
    c.true("terminal: the usual output follows", after.rstrip(b"\r\n").endswith(b"done."), f"{after!r}")
    c.true("terminal: no new line from the progress", b"MB/s\r\n" not in screen and b"MB/s\n" not in screen)

    # Standard error redirected: nothing on the terminal, nothing in the file.
    make(big, 200 * MIB)
    err = os.path.join(scratch, "..", "stderr.txt")
    rc, screen = run_with_stderr_file(argv, scratch, env, err)
    screen = plain(screen)
    with open(err, "rb") as f:
        err_text = f.read()
    c.true("redirected: exit code", rc == 0, f"rc {rc}")
    c.true("redirected: file erased", not os.path.exists(big))
    c.true("redirected: nothing on standard error", b"MB/s" not in err_text and b"pass" not in err_text,
          f"{err_text[:200]!r}")
    c.true("redirected: the terminal shows the usual output only",
          b"MB/s" not in screen and screen.rstrip(b"\r\n").endswith(b"done."), f"{screen[:200]!r}")

    # Exactly 64 MiB is not long enough for a line.
    make(big, 64 * MIB)
    t = TerminalRun(argv, cwd=scratch, env=env)
    rc = t.finish(timeout=300)
    c.true("64 MiB: exit code", rc == 0, f"rc {rc}")
    c.true("64 MiB: no line", b"MB/s" not in t.screen, f"{t.screen[:200]!r}")


if mode == "wine":
    # The test build reads the machine's setting file, which lives in the prefix.
    from wine import WinePrefix
    with WinePrefix("progress") as wp:
        folder = os.path.join(wp.programdata, "Korvanel", "Ostrel")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "config.cfg"), "wb") as f:
            f.write(b"\x01")
        checks(wp.scratch, wp.argv(testcfg, ["big.bin"]), wp.env())
else:
    root = tempfile.mkdtemp(prefix="korwipe-progress-")
    try:
        scratch = os.path.join(root, "work")
        os.mkdir(scratch)
        cfg = os.path.join(root, "config.cfg")
        with open(cfg, "wb") as f:
            f.write(b"\x01")
        checks(scratch, [testcfg, "big.bin"], dict(os.environ, KORWIPE_TEST_CONFIG=cfg))
    finally:
        shutil.rmtree(root, ignore_errors=True)

c.done()

"""Peak memory of `Korwipe -d` over one folder of many empty subdirectories.

    python3 bench/wipe/manydirs.py BUILD_DIR SCRATCH_ROOT [COUNT ...]

For each count (default 0, 20000, 200000) a folder of that many empty
subdirectories is made under SCRATCH_ROOT, erased with the build's
Korwipe_testcfg (the question answered y on a pty of its own), and the
peak resident set (GNU time's %M) is printed with the growth per directory
over the run with no subdirectory. Nothing is timed.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import termios
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tests", "harness"))
from terminal import TerminalRun  # noqa: E402


def peak_kib(program, count, scratch_root):
    """Peak resident KiB of erasing a folder of count subdirectories, and
    whether the run ended with done. (exit 0, folder gone)."""
    work = tempfile.mkdtemp(prefix="korwipe-manydirs-", dir=scratch_root)
    try:
        os.mkdir(os.path.join(work, "top"))
        for i in range(count):
            os.mkdir(os.path.join(work, "top", "d%d" % i))
        report = os.path.join(work, "peak")
        t = TerminalRun(["/usr/bin/time", "-f", "%M", "-o", report, program, "-d", "top"], cwd=work,
                        stdout=subprocess.DEVNULL)
        # The question is asked once the terminal leaves line mode.
        end = time.monotonic() + 60
        while termios.tcgetattr(t.master)[3] & termios.ICANON and t.proc.poll() is None \
                and time.monotonic() < end:
            t._pump(0.01)
        t.send("y")
        rc = t.finish(3600)
        with open(report) as f:
            kib = int(f.read().split()[-1])
        return kib, rc == 0 and not os.path.exists(os.path.join(work, "top"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    if len(sys.argv) < 3:
        raise SystemExit(__doc__)
    program = os.path.abspath(os.path.join(sys.argv[1], "wipe", "Korwipe_testcfg"))
    counts = [int(n) for n in sys.argv[3:]] or [0, 20000, 200000]
    base = None
    for count in counts:
        kib, ok = peak_kib(program, count, sys.argv[2])
        if base is None:
            base = kib
        per = (kib - base) * 1024 / count if count else 0.0
        print("%8d subdirectories: peak %7.1f MiB, %6.1f bytes a directory over %d%s"
              % (count, kib / 1024, per, counts[0], "" if ok else "  (NOT ALL ERASED)"))


if __name__ == "__main__":
    main()

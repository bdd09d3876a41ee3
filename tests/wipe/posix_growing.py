"""Korwipe on Linux and a file another process appends to while it is erased.

Erasing means every byte from the first to the last, and the last may move
while the passes run. A thread of the test holds the file open (as a log
writer would), waits until Korwipe's first pass reaches the file's start, and
appends a marker: once (1 MiB), or without end (until Korwipe exits). After
the run it reads the whole inode through its own descriptor, which keeps it
even when its name is gone:

- appended once: `done.`, exit 0, and not one marker left in the inode;
- appended without end (64 KiB a millisecond, while each of Korwipe's
  rounds over the grown file takes tens of them): never `done.`:
  `error writing file (segment Nl)`, exit 5, the file left under its own
  name. Korwipe runs at nice 19, so that the writer wins the processor.

One row puts the growing file among small files that are written side by
side (the batch), one in the directory form.
"""
import os
import re
import threading
import time

from checks import Checks, skip
from wipetest import Scratch, programs, run_form

shipped, testcfg = programs()
c = Checks()
MIB = 1 << 20
MARKER = b"<grown-marker-->"  # 16 bytes
CAP = 512 * MIB  # the endless writer's bound, so a fault cannot fill the disk


def grow(path, amount, stop, state):
    """Appends amount bytes of markers (None: until stop) once the file's
    first bytes change."""
    rd = os.open(path, os.O_RDONLY)
    wr = os.open(path, os.O_WRONLY | os.O_APPEND)
    state["fd"] = rd
    first = os.pread(rd, 4096, 0)
    while not stop.is_set() and os.pread(rd, 4096, 0) == first:
        time.sleep(0.0005)
    chunk = MARKER * (64 * 1024 // len(MARKER))
    while not stop.is_set() and state["appended"] < (amount or CAP):
        os.write(wr, chunk)
        state["appended"] += len(chunk)
        if amount is None:
            # Slower than Korwipe overwrites, so that it never falls behind
            # for good, yet many times within each of its rounds.
            time.sleep(0.001)
    os.close(wr)


def markers_left(fd):
    left, offset = 0, 0
    while True:
        block = os.pread(fd, 8 * MIB, offset)
        if not block:
            return left
        left += block.count(MARKER)
        offset += len(block)


# case, files to make (name: size), the one that grows, arguments, passes,
# bytes appended (None: without end)
ROWS = [
    ("single, appended once", {"g/big.log": 48 * MIB}, "g/big.log", ["g/big.log"], 2, MIB),
    ("pattern, appended once", {"g/big.log": 48 * MIB, "g/other": 5000}, "g/big.log", ["g/*"], 2, MIB),
    ("-d, appended once", {"g/big.log": 48 * MIB, "g/sub/x": 100}, "g/big.log", ["-d", "g"], 2, MIB),
    ("pattern, side by side with 63 small files, appended once",
     dict({f"g/small-{i:02d}": MIB - 4096 for i in range(63)}, **{"g/grows": MIB - 4096}), "g/grows", ["g/*"], 3,
     256 * 1024),
    ("single, appended without end", {"g/big.log": 16 * MIB}, "g/big.log", ["g/big.log"], 1, None),
]

for case, files, grows, args, passes, amount in ROWS:
    with Scratch() as s:
        for name, size in files.items():
            s.write(name, b"\x11" * size)
        s.write("setting", bytes([passes]))
        stop, state = threading.Event(), {"appended": 0, "fd": None}
        t = threading.Thread(target=grow, args=(s.p(grows), amount, stop, state))
        t.start()
        try:
            r = run_form(testcfg, args, s.path, env={"KORWIPE_TEST_CONFIG": s.p("setting")},
                         wrap=["nice", "-n", "19"] if amount is None else (), timeout=120)
        finally:
            stop.set()
            t.join()
        c.true(f"{case}: the writer appended while Korwipe ran (else not measured)", state["appended"] > 0)
        left = markers_left(state["fd"])
        linked = os.path.exists(s.p(grows))
        os.close(state["fd"])
        if amount is not None:
            c.eq(f"{case}: exit code, done.", (r.rc, r.lines[-1:]), (0, ["done."]))
            c.eq(f"{case}: markers left in the file, of {state['appended'] // len(MARKER)}", left, 0)
        else:
            c.true(f"{case}: under {CAP // MIB} MiB appended (else not measured)", state["appended"] < CAP)
            errors = [l for l in r.lines if re.fullmatch(r"error writing file \(segment \d+l\)", l)]
            c.eq(f"{case}: exit code, error line, no done.", (r.rc, len(errors), "done." in r.lines), (5, 1, False))
            c.true(f"{case}: left under its own name", linked)

c.done()

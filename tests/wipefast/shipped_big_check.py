"""The shipped Korwipe.exe over a file of 4 GiB + 12345 bytes under Wine: the
length and every offset past 2^32 are the 32-bit build's own risk.

usage: shipped_big_check.py KORWIPE_EXE

The shipped program has no test hooks, so its bytes are seen through a
descriptor this script holds open on the file: the program overwrites the file
in place, then renames and deletes its name, and the open descriptor keeps
the data. (A second hard link would not do: a file with other names is left
unwritten to them.) Its seed comes from the real clock, read once at start,
so the seeds of the seconds the run spans are tried (two seconds in a row
share one) until one gives the file's first bytes. Then both ends and the
bytes around every 16 MiB boundary (where the program's segments meet, 2^32
among them) must be that seed's stream at their offset, and no block of the
file may be left a hole.

The file is sparse until written: the run needs 4 GiB of free disk, checked
first (skipped, with the reason, when there is less), and is removed at once.
"""
import os
import shutil
import sys
import time

import streamwindows as sw
from checks import Checks, skip
from wine import WinePrefix

SIZE = (1 << 32) + 12345
SEGMENT = 16 << 20

if len(sys.argv) != 2:
    raise SystemExit("usage: shipped_big_check.py KORWIPE_EXE")
shipped = sys.argv[1]
c = Checks()


def seed_of(unix_seconds):
    t = time.gmtime(unix_seconds)
    return sw.seed_from_time(t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec)


with WinePrefix("korwipe-big") as wp:
    free = shutil.disk_usage(wp.root).free
    if free < SIZE + (1 << 30):
        skip(f"{free >> 20} MiB free under {wp.root}; the file needs 4 GiB and a margin of 1 GiB")

    # Setting 1: one pass, so the file ends holding the stream from offset 0.
    folder = os.path.join(wp.programdata, "Korvanel", "Ostrel")
    os.makedirs(folder)
    with open(os.path.join(folder, "config.cfg"), "wb") as f:
        f.write(b"\x01")

    big = os.path.join(wp.scratch, "big.bin")
    with open(big, "wb") as f:
        f.truncate(SIZE)
    kept = open(big, "rb")
    try:
        started = time.time()
        r = wp.run(shipped, ["big.bin"], timeout=540)
        ended = time.time()
        print(f"4 GiB + 12345 bytes erased in {ended - started:.1f} s")
        c.eq("exit code and output", (r.rc, r.lines), (0, ["done."]))
        c.eq("the erase folder afterwards", os.listdir(wp.scratch), [])
        st = os.fstat(kept.fileno())
        c.eq("length", st.st_size, SIZE)
        c.eq("names left (the program deleted its own)", st.st_nlink, 0)
        c.eq("no hole left: bytes allocated at least the length", st.st_blocks * 512 >= SIZE, True)

        with kept as f:
            head = f.read(16)
            seeds = {seed_of(s) for s in range(int(started) - 1, int(ended) + 2)}
            found = [seed for seed in seeds if sw.take(seed, 0, 16) == head]
            c.eq("seeds of the run's seconds that give the first bytes", len(found), 1)
            if len(found) == 1:
                spans = sw.windows(SIZE, every=SEGMENT, around=64)
                bad = []
                for start, n in spans:
                    f.seek(start)
                    if f.read(n) != sw.take(found[0], start, n):
                        bad.append(start)
                c.eq(f"stretches of {len(spans)} (both ends, every 16 MiB boundary) not holding the stream",
                      bad[:5], [])
    finally:
        kept.close()
        if os.path.exists(big):
            os.remove(big)

c.done()

"""Korwipe under Wine: the setting read from the prefix's common application
data folder (each setting in a prefix of its own), counted through the test
build's per-pass copies; and the bytes of each pass against the generator."""
import os
import time

from checks import Checks
from wine import WinePrefix
from wipetest import Stream, programs, snapshots, winpath, wine_result

shipped, testcfg = programs()
c = Checks()

# (name, first bytes of config.cfg or None for no file, passes for 3000 bytes)
CASES = [("no file", None, 3), ("empty", b"", 3), ("0x01", b"\x01", 1), ("0x05", b"\x05", 5),
         ("0x06", b"\x06", 3), ("0xFF", b"\xff", 3), ("text 3", b"3\r\n", 3)]

t0 = time.time()
for name, content, passes in CASES:
    with WinePrefix("korwipe") as wp:
        if content is not None:
            folder = os.path.join(wp.programdata, "Korvanel", "Ostrel")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "config.cfg"), "wb") as f:
                f.write(content)
        snap = os.path.join(wp.root, "snap")
        os.mkdir(snap)
        with open(os.path.join(wp.scratch, "f.bin"), "wb") as f:
            f.write(b"\x00" * 3000)
        clock = "2009-03-15 14:30:44"
        r = wine_result(wp.run(testcfg, ["f.bin"], env={
            "KORWIPE_TEST_SNAPSHOT": winpath(snap), "KORWIPE_TEST_CLOCK": clock}))
        got = snapshots(snap)
        c.eq(f"setting {name}", (r.rc, r.lines, len(got), os.listdir(wp.scratch)),
             (0, ["done."], passes, []))
        # Every pass holds the stream, continuing from the pass before.
        stream = Stream(2009, 3, 15, 14, 30, 44)
        c.true(f"setting {name}: passes are the stream", got and all(g == stream.take(len(g)) for g in got))
print(f"{len(CASES)} prefixes in {time.time() - t0:.1f} s")

c.done()

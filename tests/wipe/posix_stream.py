"""Korwipe on Linux: the bytes on disk after each pass are exactly the
generator's stream for the clock's seed, running on from pass to pass and
from file to file; and a file over 4 GiB is overwritten to its last byte."""
import os
import time

from checks import Checks
from wipetest import Scratch, Stream, programs, run_native, snapshots

shipped, testcfg = programs()
c = Checks()

CLOCK = "2009-03-15 14:30:44"

with Scratch() as s:
    snap = s.p("snap")
    os.mkdir(snap)
    os.mkdir(s.p("work"))
    sizes = {"a.bin": 1500, "b.bin": 700}  # 3 and 5 automatic passes
    for name, size in sizes.items():
        with open(s.p("work", name), "wb") as f:
            f.write(b"\x00" * size)
    env = {"KORWIPE_TEST_CLOCK": CLOCK, "KORWIPE_TEST_SNAPSHOT": snap}
    r = run_native(testcfg, ["*.bin"], s.p("work"), env)
    c.eq("two files", (r.rc, r.lines, os.listdir(s.p("work"))), (0, ["done."], []))
    snaps = snapshots(snap)
    c.eq("pass sizes", sorted(len(x) for x in snaps), sorted([1500] * 3 + [700] * 5))
    stream = Stream(2009, 3, 15, 14, 30, 44)
    for i, got in enumerate(snaps):
        want = stream.take(len(got))
        c.true(f"pass {i + 1} ({len(got)} bytes) is the stream", got == want,
               f"first bytes {got[:8].hex()} want {want[:8].hex()}")
    c.eq("known first bytes", snaps[0][:4] if snaps else b"", bytes([0x61, 0x7E, 0xAD, 0x3D]))

    # Another second, another stream.
    with open(s.p("work", "c.bin"), "wb") as f:
        f.write(b"\x00" * 500)
    for n in os.listdir(snap):
        os.remove(os.path.join(snap, n))
    env["KORWIPE_TEST_CLOCK"] = "2031-12-31 23:59:58"
    r = run_native(testcfg, ["c.bin"], s.p("work"), env)
    snaps = snapshots(snap)
    want = Stream(2031, 12, 31, 23, 59, 58).take(500 * 5)
    c.eq("second clock", (r.rc, b"".join(snaps) == want), (0, True))

    # Over 4 GiB, a hole but for its last 64 KiB of zeros (a hole is not
    # overwritten, so the disk holds only those): one pass; the copy of the
    # last 64 KiB must hold written bytes, not the zeros. A length kept in
    # 32 bits, signed or not, would have stopped after the first 12345 bytes.
    for n in os.listdir(snap):
        os.remove(os.path.join(snap, n))
    big = s.p("work", "big.bin")
    size = 2 ** 32 + 12345
    with open(big, "wb") as f:
        f.seek(size - 65536)
        f.write(bytes(65536))
    with open(s.p("config.cfg"), "wb") as f:
        f.write(b"\x01")
    env = {"KORWIPE_TEST_CONFIG": s.p("config.cfg"), "KORWIPE_TEST_SNAPSHOT": snap,
           "KORWIPE_TEST_SNAPSHOT_TAIL": "65536"}
    t0 = time.time()
    try:
        r = run_native(testcfg, ["big.bin"], s.p("work"), env, timeout=240)
    finally:
        if os.path.exists(big):
            os.remove(big)
    print(f"4 GiB + 12345 bytes erased in {time.time() - t0:.1f} s")
    snaps = snapshots(snap)
    c.eq("big file", (r.rc, r.lines, len(snaps)), (0, ["done."], 1))
    tail = snaps[0] if snaps else b""
    c.eq("big file tail length", len(tail), 65536)
    c.true("big file written to its last byte", tail.count(0) < 1000 and tail[-16:].count(0) < 8,
           f"{tail.count(0)} zero bytes in the last 64 KiB")

c.done()

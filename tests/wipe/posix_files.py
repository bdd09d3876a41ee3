"""Korwipe on Linux: how many passes each file gets, from the setting's first
byte or from the file's length, counted through the test build's per-pass
copies; and files at the 16 MiB segment size."""
import os

from checks import Checks
from wipetest import Scratch, programs, run_native, snapshots

shipped, testcfg = programs()
c = Checks()


def erase(s, size, setting):
    """Erases one file of size bytes with the given setting file content
    (None: no setting file); returns (result, per-pass copies)."""
    snap = s.p("snap")
    os.makedirs(snap, exist_ok=True)
    for n in os.listdir(snap):
        os.remove(os.path.join(snap, n))
    env = {"KORWIPE_TEST_SNAPSHOT": snap, "KORWIPE_TEST_SNAPSHOT_TAIL": "4096"}
    if setting is not None:
        with open(s.p("config.cfg"), "wb") as f:
            f.write(setting)
        env["KORWIPE_TEST_CONFIG"] = s.p("config.cfg")
    os.makedirs(s.p("work"), exist_ok=True)
    path = s.p("work", "f.bin")
    # Zeros written, not a hole: a hole holds nothing and is not overwritten.
    with open(path, "wb") as f:
        f.write(bytes(size))
    r = run_native(testcfg, ["f.bin"], s.p("work"), env)
    gone = not os.path.exists(path)
    return r, snapshots(snap), gone


with Scratch() as s:
    # The setting: first byte 1-5 is the count for every file, anything else
    # (or no byte, or no file) is automatic: 3 passes for 3000 bytes.
    settings = [
        ("no file", None, 3), ("empty file", b"", 3), ("0x00", b"\x00", 3), ("0x01", b"\x01", 1),
        ("0x05", b"\x05", 5), ("0x06", b"\x06", 3), ("0xFF", b"\xff", 3), ("text 3", b"3", 3),
        ("text [", b"[passes]\n", 3), ("0x02 then more", b"\x02" + b"\x05" * 100, 2),
    ]
    for name, content, passes in settings:
        r, snaps, gone = erase(s, 3000, content)
        c.eq(f"setting {name}", (r.rc, r.lines, len(snaps), gone), (0, ["done."], passes, True))

    # Automatic count by length; a fixed count applies whatever the length.
    sizes = [(0, None, 5), (1023, None, 5), (1024, None, 3), (5119, None, 3), (5120, None, 1),
             (0, b"\x02", 2), (100000, b"\x04", 4)]
    for size, content, passes in sizes:
        r, snaps, gone = erase(s, size, content)
        c.eq(f"{size} bytes, setting {content!r}", (r.rc, len(snaps), gone), (0, passes, True))
        c.true(f"{size} bytes keeps its length", all(len(x) == min(size, 4096) for x in snaps),
               [len(x) for x in snaps])

    # 16 MiB + 1: one whole segment and one partial byte, every pass; the
    # last byte is overwritten (not left as the zero it was).
    for size in (16 * 1024 * 1024, 16 * 1024 * 1024 + 1):
        r, snaps, gone = erase(s, size, b"\x02")
        c.eq(f"{size} bytes", (r.rc, r.lines, len(snaps), gone), (0, ["done."], 2, True))
        c.true(f"{size} bytes overwritten to the end",
               all(x[-64:].count(0) < 16 for x in snaps) and snaps[0] != snaps[1])

c.done()

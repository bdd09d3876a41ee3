"""The Windows matching vectors under Wine: wipe_wildcards_win.exe runs every
row through the Windows build of the matcher with the system's upper-casing,
compares the portable table with the system's, and repeats the long-name rows
through the ANSI code page. The rows are counted here too, independently, so
that a row the program skipped shows."""
import re
import sys

from checks import Checks
from wine import WinePrefix
from wipetest import winpath

exe, vectors = sys.argv[1], sys.argv[2]
c = Checks()

counts = {"long": 0, "short": 0, "translate": 0, "raw": 0}
with open(vectors, encoding="utf-8") as f:
    for line in f:
        kind = line.split(" | ", 1)[0]
        if kind in counts:
            counts[kind] += 1
c.eq("rows in the file", sum(counts.values()), 170)

with WinePrefix("korwipe-vectors") as wp:
    # UTF-8 for Wine's view of file names and arguments; the program's code
    # page is then Wine's default ANSI one (1252).
    r = wp.run(exe, [winpath(vectors)], env={"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"})
    out = r.out.replace("\r\n", "\n")
    for line in out.split("\n"):
        if line.startswith("FAIL"):
            c.true(line[5:], False, "failed under Wine")
    m = re.search(r"rows: long (\d+), short (\d+), translate (\d+), raw (\d+); table units (\d+); "
                  r"ANSI rows (\d+) \(code page (\d+)\)", out)
    c.true("summary line", m is not None, repr(out[-500:]) + r.err[-300:])
    if m:
        got = dict(zip(("long", "short", "translate", "raw"), map(int, m.groups()[:4])))
        c.eq("rows run, by kind", got, counts)
        c.eq("table units compared", int(m.group(5)), 0x180 + (0x3CF - 0x386) + 0x60)
        # Every long-name row is text of code page 1252 (é and É in rows
        # 102-104, ß in 105), so all of them go through the ANSI path too.
        c.eq("ANSI code page", int(m.group(7)), 1252)
        c.eq("long rows through the ANSI code page", int(m.group(6)), counts["long"])
    c.eq("exit code", r.rc, 0)

c.done()

"""Where the Windows Korwipe splits a pattern into folder and name, under a
double-byte code page (932, where a trail byte may be a backslash) and under
1252: dirpart_win.exe checks its cases itself; this runs it under both and
checks that each ran in the code page meant."""
import re
import sys

from checks import Checks
from wine import WinePrefix

exe = sys.argv[1]
c = Checks()
with WinePrefix("korwipe-dirpart") as wp:
    for locale, page in [("ja_JP.UTF-8", 932), ("C.UTF-8", 1252)]:
        r = wp.run(exe, [], env={"LC_ALL": locale, "LANG": locale})
        out = r.out.replace("\r\n", "\n")
        for line in out.split("\n"):
            if line.startswith("FAIL"):
                c.true(f"{locale}: {line[5:]}", False)
        m = re.search(r"code page (\d+), (\d+) cases", out)
        c.true(f"{locale}: summary line", m is not None, repr(out[-300:]))
        if m:
            c.eq(f"{locale}: code page", int(m.group(1)), page)
            c.eq(f"{locale}: cases", int(m.group(2)), 8)
        c.eq(f"{locale}: exit code", r.rc, 0)
c.done()

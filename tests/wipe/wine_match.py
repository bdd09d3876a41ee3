"""Korwipe.exe under Wine erases, pattern by pattern, what the system's own
search deletes: `del /q PATTERN` in a second copy of the same folder, under
the same prefix. The names carry letters beyond ASCII, several dots, no
extension and mixed case.

The intended difference: a name whose extension only begins with the
pattern's (a.txtx for *.txt) is found by the search through its 8.3 short
name, and del deletes it; Korwipe keeps it, as the pattern did not name it.
Korwipe lists the folder and matches by the Windows rules itself; where
Wine's search departs from them, Korwipe follows Windows: Wine ignores a
pattern's final dot (so "*." lists every name, where Windows lists only names
without a dot), and Wine never lets ? match nothing before a dot or at the
end (so it misses log.txt for log?.txt, which Windows finds).

Also the directory form: a directory named exactly by its short name is
found, and a wildcard pattern that matches only its short name finds nothing.
"""
import os
import re
import shutil
import sys

from checks import Checks
from wine import WinePrefix
from wipetest import NO_CONSOLE, PROMPT_MANY, PROMPT_ONE, wine_result, winpath

shipped = sys.argv[1]
c = Checks()

# All in code page 1252, the program's ANSI code page under Wine here, so
# that the names reach the ANSI calls intact.
NAMES = ["été.txt", "Ünïcode.dat", "ÉCOLE.doc", "ŒUVRE.txt", "façade.TXT", "Ça va.txt", "readme", "NoExt",
         "ReadMe.Txt", "archive.tar.gz", "a.b.c", "v1.2.3.log", "log.txt", "log1.txt", "log12.txt", "ab.log",
         "abcd.log", "a", "abc", "abcd", "a.txtx", "x.html", "book.xlsx"]

with_dot = {n for n in NAMES if "." in n}
SHORT_ONLY = "found through the short name only"
WINE_DOT = "Wine ignores the final dot"

# pattern -> names Korwipe erases and del keeps: Windows lets ? match nothing
# before a dot or at the end, Wine's search does not.
WINE_QM = {"?.?": {"a"}, "log?.txt": {"log.txt"}, "???.log": {"ab.log"}, "a??": {"a"}}

# pattern -> (names del deletes and Korwipe keeps, why); the rest must agree.
PATTERNS = {
    "ÉTÉ*": (set(), ""), "üNÏ*.DAT": (set(), ""), "école.*": (set(), ""), "œuvre.*": (set(), ""),
    "FA?ADE.*": (set(), ""), "ça*": (set(), ""), "*é*": (set(), ""), "*.LOG": (set(), ""),
    "*.txt": ({"a.txtx"}, SHORT_ONLY), "*.TXT": ({"a.txtx"}, SHORT_ONLY), "*.htm": ({"x.html"}, SHORT_ONLY),
    "*.xls": ({"book.xlsx"}, SHORT_ONLY), "*.t?t": ({"a.txtx"}, SHORT_ONLY),
    "*.*": (set(), ""), "*": (set(), ""), "a.*": (set(), ""), "?.?": (set(), ""), "*.tar.*": (set(), ""),
    "*.gz": (set(), ""), "*.c": (set(), ""), "*.b.*": (set(), ""), "v1.*.log": (set(), ""), "log?.txt": (set(), ""),
    "???.log": (set(), ""), "a??": (set(), ""), "readme*": (set(), ""),
    "*.": (with_dot, WINE_DOT), "a*.": ({n for n in with_dot if n.lower().startswith("a")}, WINE_DOT),
    "*.txt.": ({"a.txtx"}, SHORT_ONLY),
}

# What some patterns must erase: both sides agreeing on nothing (arguments
# mangled on the way in) would pass the comparison.
ERASES = {"ÉTÉ*": {"été.txt"}, "üNÏ*.DAT": {"Ünïcode.dat"}, "école.*": {"ÉCOLE.doc"}, "œuvre.*": {"ŒUVRE.txt"},
          "FA?ADE.*": {"façade.TXT"}, "ça*": {"Ça va.txt"}, "*é*": {"été.txt", "ÉCOLE.doc"},
          "*.": {"readme", "NoExt", "a", "abc", "abcd"}, "*.txt.": {"été.txt", "ŒUVRE.txt", "Ça va.txt",
          "façade.TXT", "ReadMe.Txt", "log.txt", "log1.txt", "log12.txt"}}

# UTF-8 for Wine's view of the file names and the arguments; the program's
# ANSI code page is then Wine's default, 1252.
ENV = {"LC_ALL": "C.UTF-8", "LANG": "C.UTF-8"}

with WinePrefix("korwipe-match") as wp:
    s = wp.scratch

    def fresh(folder):
        path = os.path.join(s, folder)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        for n in NAMES:
            with open(os.path.join(path, n), "wb") as f:
                f.write(b"x" * 100)
        return path

    def gone(path):
        return set(NAMES) - set(os.listdir(path))

    # One command processor runs every pair (a Wine start costs seconds):
    # Korwipe.exe PATTERN in ours-N, its output and exit code to files, then
    # del /q PATTERN in system-N. Each token is its own argument, so that
    # Wine passes it on unquoted.
    line = []
    for i, pattern in enumerate(PATTERNS):
        fresh(f"ours-{i}")
        fresh(f"system-{i}")
        line += ["cd", "/d", winpath(os.path.join(s, f"ours-{i}")), "&", winpath(shipped), pattern,
                 ">", f"..\\out-{i}.txt", "&", "echo", "!errorlevel!", ">", f"..\\rc-{i}.txt", "&",
                 "cd", "/d", winpath(os.path.join(s, f"system-{i}")), "&", "del", "/q", pattern, "&"]
    r = wp.run("cmd", ["/v:on", "/c"] + line[:-1], env=ENV, timeout=300)
    c.eq("command processor", r.rc, 0)

    for i, (pattern, (short_only, why)) in enumerate(PATTERNS.items()):
        erased, deleted = gone(os.path.join(s, f"ours-{i}")), gone(os.path.join(s, f"system-{i}"))
        c.eq(f"{pattern}: del deleted, Korwipe kept ({why or 'none expected'})", deleted - erased, short_only)
        c.eq(f"{pattern}: Korwipe erased, del kept (? matching nothing, which Wine does not do)", erased - deleted,
             WINE_QM.get(pattern, set()))
        if pattern in ERASES:
            c.eq(f"{pattern}: erased", erased, ERASES[pattern])
        with open(os.path.join(s, f"out-{i}.txt"), "rb") as f:
            out = f.read().decode("cp1252").replace("\r\n", "\n").split("\n")[:-1]
        with open(os.path.join(s, f"rc-{i}.txt"), "rb") as f:
            rc = int(f.read().strip() or b"-1")
        want = (0, ["done."]) if erased else (1, ["No matching files found."])
        c.eq(f"{pattern}: exit code and output", (rc, out), want)

    # The directory form. Under Wine a short name is a hash of the long
    # one; dir /x shows it.
    top = os.path.join(s, "dirs")
    os.makedirs(os.path.join(top, "mylongdirectory"))
    listing = wp.run("cmd", ["/c", "dir", "/x"], cwd=top, env=ENV).out
    m = re.search(r"<DIR>\s+(\S+)\s+mylongdirectory", listing)
    c.true("short name of the directory", m is not None, listing)
    if m:
        short = m.group(1)
        c.true("the short name differs from the long one", short.lower() != "mylongdirectory", short)
        # Named exactly by its short name: found. The question comes; with
        # no console the answer is no, and nothing is erased.
        r = wine_result(wp.run(shipped, ["-d", short], cwd=top, env=ENV))
        c.eq(f"-d {short}", (r.rc, r.lines), (1, [PROMPT_ONE, NO_CONSOLE]))
        # A wildcard that only the short name matches names nothing.
        wild = short[:-1] + "?"
        r = wine_result(wp.run(shipped, ["-d", wild], cwd=top, env=ENV))
        c.eq(f"-d {wild}", (r.rc, r.lines), (1, ["No matching directories found."]))
        r = wine_result(wp.run(shipped, ["-d", "MYLONG*"], cwd=top, env=ENV))
        c.eq("-d MYLONG*", (r.rc, r.lines), (1, [PROMPT_MANY, NO_CONSOLE]))
        c.true("directory left", os.path.isdir(os.path.join(top, "mylongdirectory")))

c.done()

"""Korwipe on Linux: names others chose and names as users type them. On a
terminal, control characters in names (C0, DEL, ESC, C1) show as '?', so a
directory "x\\ndone.\\n\\x1b[8m" forges no line and hides none; redirected,
the bytes stay. ? is one character (é is two bytes), in C.UTF-8 and in the
bare C locale alike. A trailing slash after -d names the directory."""
import os
import re
import subprocess

from terminal import TerminalRun
from checks import Checks, skip
from wipetest import PROMPT_MANY, PROMPT_ONE, Scratch, answer, native_env, programs, run_native

shipped, testcfg = programs()
c = Checks()
DIR, FIFO, LINK = b"x\ndone.\n\x1b[8m", b"p\x07\x7f\xc2\x9b\x9b\xc3\xa9", b"h\x1b]0;t\x07"
CONTROL = re.compile(rb"\xc2[\x80-\x9f]|[\x00-\x1f\x7f\x80-\x9f]")


def forge(s):
    top = s.p("top").encode()
    os.makedirs(os.path.join(top, DIR))
    os.mkfifo(os.path.join(top, DIR, FIFO))  # cannot be erased: the tree stays
    os.link(s.write("outside"), os.path.join(top, LINK))  # a warning on standard error
    open(os.path.join(s.path.encode(), b"big\x1b[2J"), "wb").truncate(65 << 20)  # a progress line


OUT = [b"Erasing directory top/" + DIR + b"/", b"error opening top/" + DIR + b"/" + FIFO + b" file"]
ERR = [b"warning: top/" + LINK + b" has other links; its contents were left to them"]
for args, lines in ((["-d", "top"], OUT + ERR + [b"Some directories couldn't be erased."]),
                    ([b"big\x1b[2J"], [b"done."])):  # its name is in the progress line
    with Scratch() as s:
        forge(s)
        t = TerminalRun([testcfg] + args, cwd=s.path, env=native_env())
        if args[0] == "-d":
            t.wait_for("[y/n]")
            t.send("y")
        t.finish()
        screen = [line.rsplit(b"\r", 1)[-1] for line in t.screen.split(b"\r\n")]  # a line's last redraw
        c.eq(f"{args}: lines missing on a terminal", [x for x in lines if CONTROL.sub(b"?", x) not in screen],
             [])
        c.eq(f"{args}: control bytes on the terminal besides line ends",
             CONTROL.findall(t.screen.replace(b"\r", b"").replace(b"\n", b"")), [])
with Scratch() as s:
    forge(s)
    r, _, _ = answer([testcfg, "-d", "top"], s.path, native_env(), ["y"])
    c.eq("lines missing redirected", [x for x in OUT if x + b"\n" not in r.out.encode("latin-1")], [])

E = "\u00e9"
for locale in ("C.UTF-8", "C"):
    with Scratch() as s:
        for n in ("a.txt", E + ".txt", "ab.txt", E + E + ".txt", "d" + E + "/f", "dxy/f"):
            s.write("q/" + n)
        r = run_native(testcfg, ["q/?.txt"], s.path, {"LC_ALL": locale})
        r2, _, _ = answer([testcfg, "-d", "q/d?"], s.path, native_env({"LC_ALL": locale}), ["y"])
        c.eq(f"{locale}: q/?.txt, -d q/d?", (r.rc, r2.rc, sorted(os.listdir(s.p("q")))),
             (0, 0, ["ab.txt", "dxy", E + E + ".txt"]))

for arg, question in (("old/", PROMPT_ONE), ("old//", PROMPT_ONE), ("o*/", PROMPT_MANY),
                      ("in/old/", PROMPT_ONE), ("lnk/", None)):
    with Scratch() as s:
        s.write("in/old/s/f")
        s.write("old/s/f")
        os.symlink("old", s.p("lnk"))
        r, _, _ = answer([testcfg, "-d", arg], s.path, native_env(), ["y"])
        gone = arg.replace("*", "ld").rstrip("/")
        c.eq(f"-d {arg}", (r.rc, r.lines[:1], os.path.exists(s.p(gone))),
             (0, [question], False) if question else (1, ["No matching directories found."], True))

c.done()

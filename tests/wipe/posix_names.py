"""Korwipe on Linux: names as the user types them and as others chose them.

- A name cannot forge output: on a terminal, control characters in names
  (C0, DEL, ESC, C1) are shown as '?', so a directory named
  "x\\ndone.\\n\\x1b[8m" can neither print a line of its own nor hide the
  lines after it; redirected, the same output keeps the bytes.
- ? is one character: 'q/?.txt' erases a.txt and é.txt alike, whatever the
  locale says of itself (C.UTF-8, or the C locale of a bare environment).
- A trailing slash names the directory, as tab completion types it.
"""
import os
import re
import subprocess

from terminal import TerminalRun
from wipetest import PROMPT_MANY, PROMPT_ONE, Checks, Scratch, answer, native_env, programs

shipped, testcfg = programs()
c = Checks()

FORGED_DIR = b"x\ndone.\n\x1b[8m"
FIFO = b"p\x07\x7f\xc2\x9b\x9b\xc3\xa9"  # BEL, DEL, C1 CSI as a character and as a byte, then é
LINKED = b"h\x1b]0;t\x07"
ERR = b"e\r\x1b[2J"
MIB = 1 << 20


def shown(name):
    """What the terminal must show of a name: each control character a '?'
    (C2 9B is one character), everything else as it is."""
    return re.sub(rb"\xc2[\x80-\x9f]|[\x00-\x1f\x7f\x80-\x9f]", b"?", name)


def make_tree(s):
    top = s.p("top").encode()
    os.makedirs(os.path.join(top, FORGED_DIR))
    os.mkfifo(os.path.join(top, FORGED_DIR, FIFO))  # cannot be erased: the tree stays
    s.write("outside", size=100)
    os.link(s.p("outside"), os.path.join(top, LINKED))


def make_flat(s):
    os.makedirs(s.p("flat"))
    os.mkfifo(os.path.join(s.p("flat").encode(), FIFO))
    s.write("outside", size=100)
    os.link(s.p("outside"), os.path.join(s.p("flat").encode(), LINKED))


def make_big(s):
    with open(os.path.join(s.path.encode(), ERR), "wb") as f:
        f.truncate(65 * MIB)  # long enough for the progress line


def nothing(s):
    pass


# case, setup, arguments, answer for the question (None: none asked), lines
# that must come out (names raw), standard output only when redirected
TREE_LINES = [b"Erasing directory top/", b"Erasing directory top/" + FORGED_DIR + b"/",
              b"error opening top/" + FORGED_DIR + b"/" + FIFO + b" file",
              b"warning: top/" + LINKED + b" has other links; its contents were left to them",
              b"Some directories couldn't be erased."]
CASES = [
    ("tree", make_tree, ["-d", "top"], "y", TREE_LINES),
    ("pattern", make_flat, ["flat/*"], None,
     [b"error opening flat/" + FIFO + b" file",
      b"warning: flat/" + LINKED + b" has other links; its contents were left to them", b"done."]),
    ("single name", nothing, [ERR.decode("latin-1")], None, [b"error opening " + ERR + b" file"]),
    ("progress line", make_big, [ERR.decode("latin-1")], None, [b"done."]),
]
CONTROL = re.compile(rb"[\x00-\x09\x0b\x0c\x0e-\x1f\x7f\x80-\x9f]")


def on_terminal(args, cwd, key):
    """Everything on one terminal: the screen's lines (the pty ends lines with
    CR LF) and the exit code."""
    argv = [testcfg] + [a.encode("latin-1") for a in args]
    t = TerminalRun(argv, cwd=cwd, env=native_env())
    if key:
        t.wait_for("[y/n]")
        t.send(key)
    rc = t.finish(120)
    return rc, t.screen


for case, make, args, key, lines in CASES:
    with Scratch() as s:
        make(s)
        rc, screen = on_terminal(args, s.path, key)
        body = screen.split(b"\r\n")
        # The progress line redraws itself with CRs: the line is the last draw.
        body = [line.rsplit(b"\r", 1)[-1] for line in body]
        for line in lines:
            c.true(f"{case}: on a terminal, {shown(line)!r} shown", shown(line) in body, body)
        c.eq(f"{case}: control characters the terminal got", CONTROL.findall(screen.replace(b"\r\n", b"")), [])
        c.true(f"{case}: no forged done.", b"done." in lines or b"done." not in body, body)
    with Scratch() as s:
        make(s)
        if key:
            r, _, _ = answer([testcfg] + args, s.path, native_env(), [key])
            out = r.out.encode("latin-1")
        else:
            out = subprocess.run([testcfg.encode()] + [a.encode("latin-1") for a in args], cwd=s.path,
                                 env=native_env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                 stderr=subprocess.STDOUT, start_new_session=True, timeout=120).stdout
        for line in lines:
            # The question's run has its standard error on the terminal.
            if not (key and line.startswith(b"warning:")):
                c.true(f"{case}: redirected, {line!r} kept", line + b"\n" in out, out)


# ---- ? is one character ------------------------------------------------------
def as_output(text):
    """text as the harness decodes the program's bytes (latin-1)."""
    return text.encode().decode("latin-1")


for locale in ("C.UTF-8", "C"):
    env = native_env({"LC_ALL": locale})
    with Scratch() as s:
        for n in ("a.txt", "\u00e9.txt", "ab.txt", "\u00e9\u00e9.txt"):
            s.write("q/" + n, size=10)
        p = subprocess.run([testcfg, "q/?.txt"], cwd=s.path, env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
        c.eq(f"LC_ALL={locale}: q/?.txt", (p.returncode, p.stdout, sorted(os.listdir(s.p("q")))),
             (0, b"done.\n", ["ab.txt", "\u00e9\u00e9.txt"]))
        os.makedirs(s.p("d\u00e9/sub"))
        os.makedirs(s.p("dxy"))
        r, _, _ = answer([testcfg, "-d", "d?"], s.path, env, ["y"])
        c.eq(f"LC_ALL={locale}: -d d?", (r.rc, r.lines),
             (0, [PROMPT_MANY, ""] + [as_output(f"Erasing directory d\u00e9/{sub}") for sub in ("", "sub/")]
              + ["done."]))
        c.true(f"LC_ALL={locale}: -d d? left dxy", os.path.isdir(s.p("dxy")))

# ---- a trailing slash names the directory ----------------------------------
# argument, lines (None: no match, nothing asked), what must be gone
TREE = ["Erasing directory old/", "Erasing directory old/s/", "done."]
SLASHED = [
    ("old/", [PROMPT_ONE, ""] + TREE, "old"),
    ("old//", [PROMPT_ONE, ""] + TREE, "old"),
    ("ol*/", [PROMPT_MANY, ""] + TREE, "old"),
    ("in/old/", [PROMPT_ONE, "", "Erasing directory in/old/", "Erasing directory in/old/s/", "done."], "in/old"),
    ("lnk/", None, None),   # a link to a directory is no directory to erase, slash or not
    ("file/", None, None),
]
for arg, want, gone in SLASHED:
    with Scratch() as s:
        for d in ("old", "in/old"):
            s.write(d + "/s/f", size=10)
        s.write("file", size=10)
        s.write("target/kept", b"kept")
        os.symlink("target", s.p("lnk"))
        r, _, _ = answer([testcfg, "-d", arg], s.path, native_env(), ["y"])
        c.eq(f"-d {arg}", (r.rc, r.lines), (0, want) if want else (1, ["No matching directories found."]))
        if gone:
            c.true(f"-d {arg}: {gone} erased", not os.path.exists(s.p(gone)))
        c.true(f"-d {arg}: the rest kept", all(os.path.exists(s.p(n)) for n in ("target/kept", "file", "lnk")))

c.done()

"""Korwipe on Linux: a file that cannot be erased inside a tree fails the run
where it happens. nobody erases a tree of theirs from a shared sticky folder
(as /tmp is) while one file in it is root's, writable by all: it is
overwritten and moved into the shared folder, where the sticky bit keeps
nobody from deleting it. Its directory still goes (the move took the file
out), so done. and exit 0 stay as documented, but the failure summary must
come too. Needs root and setpriv (77 elsewhere)."""
import os
import pwd
import shutil
import sys

from checks import Checks, skip
from wipetest import ERASED, PROMPT_ONE, Scratch, answer, native_env, programs

shipped, testcfg = programs()
c = Checks()
if os.geteuid() != 0 or not shutil.which("setpriv"):
    skip("needs root and setpriv to run as nobody")
who = pwd.getpwnam("nobody")
AS_NOBODY = ["setpriv", f"--reuid={who.pw_uid}", f"--regid={who.pw_gid}", "--clear-groups", testcfg]

TOP, SUB = "Erasing directory ../home/tree/", "Erasing directory ../home/tree/sub/"
FAIL = f'error erasing "{ERASED}" file'
SUMMARY = "Some directories couldn't be erased."
for roots, lines in (([], [TOP, SUB]), (["tree/theirs"], [TOP, FAIL, SUB, SUMMARY]),
                     (["tree/sub/theirs"], [TOP, SUB, FAIL, SUMMARY])):
    with Scratch() as s:
        os.chmod(s.path, 0o755)
        os.chmod(os.path.dirname(s.write("shared/x")), 0o1777)
        for rel in ["tree/mine", "tree/sub/mine"] + roots:
            os.chmod(s.write("home/" + rel, size=100), 0o666)
        for d, ds, fs in os.walk(s.p("home")):
            for n in [d] + [os.path.join(d, f) for f in fs if f != "theirs"]:
                os.chown(n, who.pw_uid, who.pw_gid)
        r, _, _ = answer(AS_NOBODY + ["-d", "../home/tree"], s.p("shared"), native_env(), ["y"])
        left = os.path.exists(s.p("home/tree"))
        c.eq(f"root's files {roots}: exit, lines, tree left", (r.rc, r.lines, left),
             (0, [PROMPT_ONE, ""] + lines + ["done."], False))

c.done()

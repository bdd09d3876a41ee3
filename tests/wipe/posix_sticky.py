"""Korwipe on Linux: a file that cannot be erased inside a tree fails the run.

An ordinary user (nobody) erases a tree of theirs from a shared folder with
the sticky bit, as /tmp is, while one file of the tree belongs to someone
else (writable by all, so it is overwritten). The move to the neutral name
puts that file into the shared folder, where the sticky bit lets only its
owner delete it: `error erasing "this file has been erased." file`. The
tree's directory can still go, the move took the file out of it, so the
run says `done.` with exit 0 as documented, but it must also say
`Some directories couldn't be erased.`: a file's own failure counts where
it happens, not only through the directory that stays.

Needs root (to own files as two users and run as nobody); says why and
exits with 77 elsewhere.
"""
import os
import pwd
import shutil
import sys

from wipetest import ERASED, PROMPT_ONE, Checks, Scratch, answer, native_env, programs

shipped, testcfg = programs()
c = Checks()

if os.geteuid() != 0 or not shutil.which("setpriv"):
    print("SKIP: needs root and setpriv to run as another user")
    sys.exit(77)
nobody = pwd.getpwnam("nobody")
program_dirs = []
path = os.path.dirname(os.path.abspath(testcfg))
while path != "/":
    program_dirs.append(path)
    path = os.path.dirname(path)
if not all(os.stat(d).st_mode & 0o001 for d in program_dirs):
    print(f"SKIP: {testcfg} cannot be reached by nobody")
    sys.exit(77)

AS_NOBODY = ["setpriv", f"--reuid={nobody.pw_uid}", f"--regid={nobody.pw_gid}", "--clear-groups"]

# case, the files of the tree (True: someone else's), expected lines after
# the question, exit code
CASES = [
    ("someone else's file", {"home/tree/theirs": True, "home/tree/mine": False},
     ["Erasing directory ../home/tree/", f'error erasing "{ERASED}" file', "Some directories couldn't be erased.",
      "done."], 0),
    ("someone else's file one level down", {"home/tree/sub/theirs": True, "home/tree/mine": False},
     ["Erasing directory ../home/tree/", "Erasing directory ../home/tree/sub/", f'error erasing "{ERASED}" file',
      "Some directories couldn't be erased.", "done."], 0),
    ("only files of the user's own", {"home/tree/mine": False, "home/tree/sub/also": False},
     ["Erasing directory ../home/tree/", "Erasing directory ../home/tree/sub/", "done."], 0),
]

for case, files, want, rc in CASES:
    with Scratch() as s:
        os.chmod(s.path, 0o755)
        shared = s.p("shared")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        for rel, theirs in files.items():
            s.write(rel, size=100)
            os.chmod(s.p(rel), 0o666)
            if not theirs:
                os.chown(s.p(rel), nobody.pw_uid, nobody.pw_gid)
        for d, ds, fs in os.walk(s.p("home")):
            os.chown(d, nobody.pw_uid, nobody.pw_gid)
        r, _, _ = answer(AS_NOBODY + [testcfg, "-d", "../home/tree"], shared, native_env(), ["y"])
        c.eq(f"{case}: exit code and lines", (r.rc, r.lines), (rc, [PROMPT_ONE, ""] + want))
        c.eq(f"{case}: tree removed", os.path.exists(s.p("home/tree")), False)

c.done()

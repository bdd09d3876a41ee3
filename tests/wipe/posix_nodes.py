"""Korwipe on Linux meets a FIFO or a terminal inside what it erases.

Neither is a file to erase, and merely opening one acts on others: a FIFO's
peer blocked in its own open is released (a reader then reads end-of-file, a
writer gets EPIPE), and a terminal opened without O_NOCTTY by a program that
has none (run from cron or a service: a new session) becomes its controlling
terminal, which is hung up when the program exits: another program's
writes to it then fail with EIO. Each row places the node in tree/, beside
a plain file, and runs a form. A FIFO's peer must still be waiting
afterwards, and get what is sent once the test releases it; the terminal (a
node made with mknod for a virtual console, which the test holds open) must
still take the test's writes. Rows marked "no /proc" run Korwipe in a mount namespace without
/proc (root, unshare), where it cannot reopen a file through /proc/self/fd.
"""
import os
import stat
import subprocess
import sys
import time

from checks import Checks, skip
from wipetest import Scratch, programs, run_form

shipped, testcfg = programs()
c = Checks()
ROOT = os.geteuid() == 0
# The last virtual console: a terminal that is hung up when the session that
# has it as its controlling terminal ends (a pseudo-terminal is not, and its
# slave cannot be opened through a node outside its devpts).
TERMINAL = "/dev/tty63"
NO_PROC = ["unshare", "--mount", "--propagation", "private", "sh", "-c", 'umount -l /proc && exec "$@"', "sh"]

READER = "import os,sys; fd=os.open(sys.argv[1], os.O_RDONLY); print(repr(os.read(fd, 100)))"
WRITER = ("import os,sys\nfd=os.open(sys.argv[1], os.O_WRONLY)\n"
          "try:\n os.write(fd, b'ping'); print('wrote')\nexcept BrokenPipeError:\n print('EPIPE')")


def start_peer(code, path):
    p = subprocess.Popen([sys.executable, "-c", code, path], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    time.sleep(0.3)  # in its open, waiting for the other end
    return p


def release(kind, path, peer):
    """Opens the other end as a real peer would; what the waiting one got."""
    if kind == "fifo, waiting reader":
        fd = os.open(path, os.O_WRONLY)
        os.write(fd, b"ping")
        os.close(fd)
        got = peer.communicate(timeout=10)[0].decode().strip()
        return got == "b'ping'", got
    fd = os.open(path, os.O_RDONLY)
    data = os.read(fd, 100)
    os.close(fd)
    got = peer.communicate(timeout=10)[0].decode().strip()
    return data == b"ping" and got == "wrote", f"{got}, read {data!r}"


# node, form arguments, whether without /proc; each needs a plain file erased
ROWS = []
for kind in ("fifo, waiting reader", "fifo, waiting writer", "terminal"):
    for args in (["tree/node"], ["tree/*"], ["-d", "tree"]):
        # With a question to answer Korwipe has a terminal of its own: a
        # terminal node then cannot become its controlling one.
        if kind == "terminal" and args[0] == "-d":
            continue
        for no_proc in (False, True):
            ROWS.append((kind, args, no_proc))

skipped = []
for kind, args, no_proc in ROWS:
    case = f"{kind}, {' '.join(args)}{', no /proc' if no_proc else ''}"
    if (no_proc or kind == "terminal") and not ROOT:
        skipped.append(case)
        continue
    with Scratch() as s:
        s.write("tree/plain", size=2000)
        node = s.p("tree/node")
        peer = held = None
        if kind == "terminal":
            held = os.open(TERMINAL, os.O_WRONLY | os.O_NOCTTY)
            os.mknod(node, stat.S_IFCHR | 0o600, os.stat(TERMINAL).st_rdev)
        else:
            os.mkfifo(node)
            peer = start_peer(READER if kind.endswith("reader") else WRITER, node)
        wrap = NO_PROC if no_proc else []
        r = run_form(testcfg, args, s.path, wrap=wrap)
        c.true(f"{case}: reported", "error opening tree/node file" in r.lines, f"{r.rc} {r.lines}")
        if args[0] != "tree/node":
            c.true(f"{case}: the plain file beside it erased", not os.path.exists(s.p("tree/plain")))
        if held is not None:
            try:
                os.write(held, b"\r")
                c.true(f"{case}: the terminal still takes another program's writes", True)
            except OSError as e:
                c.true(f"{case}: the terminal still takes another program's writes", False, str(e))
            os.close(held)
            continue
        time.sleep(0.2)
        waiting = peer.poll() is None
        c.true(f"{case}: the peer still waits in its open", waiting,
               "" if waiting else f"it ended: {peer.communicate()[0].decode().strip()}")
        if waiting:
            ok, got = release(kind, node, peer)
            c.true(f"{case}: the peer gets what is sent once released", ok, got)

if skipped:
    print(f"skipped (needs root): {skipped}")
c.done()

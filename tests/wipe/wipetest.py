"""Shared helpers of the Korwipe integration tests (posix and wine).

The scripts get two programs as arguments: the shipped Korwipe and its
test-only twin Korwipe_testcfg, whose hooks (environment variables below) fix
the clock, name the setting file and copy the file after each pass. The
shipped program is only run where it reads no setting (usage errors), so no
test ever reads the machine's own setting.
"""
import ctypes
import errno
import os
import re
import subprocess
import sys
import tempfile
import threading
import shutil

from wipeseed import seed_from_time

ERASED = "this file has been erased."
# The same name on a Windows disk: the Win32 path rules drop a final period.
ERASED_ON_WINDOWS = "this file has been erased"
USAGE = 'usage: "Korwipe filename" or "Korwipe -d directory"'


def programs():
    if len(sys.argv) < 3:
        raise SystemExit("usage: script.py KORWIPE KORWIPE_TESTCFG")
    return sys.argv[1], sys.argv[2]


def write_file(root, rel, data):
    """Writes data to root/rel, making the folders on the way; returns the path."""
    path = os.path.join(root, rel)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    return path


class Scratch:
    """A scratch folder, removed on exit."""

    def __enter__(self):
        self.path = tempfile.mkdtemp(prefix="korwipe-")
        return self

    def __exit__(self, *exc):
        shutil.rmtree(self.path, ignore_errors=True)

    def p(self, *parts):
        return os.path.join(self.path, *parts)

    def write(self, rel, data=b"x", size=None):
        if size is not None:
            data = bytes((i * 7 + 3) & 0xFF for i in range(size))
        return write_file(self.path, rel, data)


class Result:
    def __init__(self, rc, out):
        self.rc = rc
        self.out = out.replace("\r\n", "\n")
        self.lines = self.out.split("\n")[:-1] if self.out else []

    def __repr__(self):
        return f"Result(rc={self.rc}, lines={self.lines!r})"


# The line Korwipe gives once per run for a device that keeps old flash
# pages (a solid-state drive or a USB stick under the scratch folder). It
# depends on the machine the tests run on, not on the case at hand, so the
# tests that compare whole outputs leave it out; wipe_unit_medium and
# wipe_forensic_medium check it on made-up trees and real loop devices.
DEVICE_WARNING = re.compile(r"warning: the old contents of files erased on .* may remain on the disk \(.*\)")


def without_device_warning(text):
    return "".join(line for line in text.splitlines(keepends=True) if not DEVICE_WARNING.fullmatch(line.rstrip("\n")))


def run_native(exe, args, cwd, env=None, timeout=300):
    """Runs the Linux build without a terminal (new session: no /dev/tty);
    standard error is merged into the output, less the device line."""
    e = {k: v for k, v in os.environ.items() if not k.startswith("KORWIPE_TEST")}
    if env:
        e.update(env)
    p = subprocess.run([exe] + list(args), cwd=cwd, env=e, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout,
                       start_new_session=True)
    return Result(p.returncode, without_device_warning(p.stdout.decode("latin-1")))


# ---- the generator, written independently of the C++ code ----------------

M = 0xFFFFFFFF


class Stream:
    """The overwrite byte stream for a given UTC moment."""

    def __init__(self, year, month, day, hour, minute, second):
        self.s1, self.s2, self.s3 = seed_from_time(year, month, day, hour, minute, second)

    def take(self, n):
        out = bytearray(n)
        s1, s2, s3 = self.s1, self.s2, self.s3
        for i in range(n):
            s1 = ((s1 << 13) & M) ^ (((s1 >> 15) ^ (s1 >> 6)) & 0x1FFF)
            s2 = ((s2 << 20) & M) ^ (((s2 >> 9) ^ (s2 >> 7)) & 0xFFFFF)
            s3 = ((s3 << 17) & M) ^ (((s3 >> 14) ^ (s3 >> 8)) & 0x1FFFF)
            out[i] = int((s1 ^ s2 ^ s3) * 2.3283064365e-10 * 256.0)
        self.s1, self.s2, self.s3 = s1, s2, s3
        return bytes(out)


def snapshots(folder):
    """The per-pass copies the test build left, in pass order."""
    names = sorted((n for n in os.listdir(folder) if n.startswith("pass-")), key=lambda n: int(n[5:]))
    out = []
    for n in names:
        with open(os.path.join(folder, n), "rb") as f:
            out.append(f.read())
    return out


def strip_terminal_codes(screen):
    """What a person sees of the echoed keys: the screen without the escape
    sequences a terminal emulator sends along."""
    import re
    return re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", screen)


def answer(argv, cwd, env, keys, pause=0.3, still_asking_after=None):
    """Runs argv on a terminal of its own with standard output going to a file,
    waits for the question, then types keys one by one. Returns the Result of
    standard output, the bytes the terminal showed (the echo), and whether
    the program was still waiting after the first still_asking_after keys."""
    import time
    from terminal import TerminalRun
    fd, outpath = tempfile.mkstemp(prefix="korwipe-out-")
    os.close(fd)
    waiting = None
    try:
        with open(outpath, "wb") as out:
            t = TerminalRun(argv, cwd=cwd, env=env, stdout=out)
            # A run that asks nothing (no match) ends without the question.
            end = time.time() + 60
            while time.time() < end and t.proc.poll() is None:
                with open(outpath, "rb") as f:
                    if b"[y/n]" in f.read():
                        break
                t._pump(0.1)
            for i, k in enumerate(keys):
                if still_asking_after is not None and i == still_asking_after:
                    t._pump(pause * 2)
                    waiting = t.proc.poll() is None
                t._pump(pause)
                t.send(k)
            rc = t.finish(240)
        with open(outpath, "rb") as f:
            text = f.read().decode("latin-1")
    finally:
        os.remove(outpath)
    return Result(rc, text), t.screen, waiting


def native_env(extra=None):
    e = {k: v for k, v in os.environ.items() if not k.startswith("KORWIPE_TEST")}
    if extra:
        e.update(extra)
    return e


PROMPT_ONE = "Are you sure you want to Erase selected directory? [y/n]"
PROMPT_MANY = "Are you sure you want to Erase selected directories? [y/n]"
NO_CONSOLE = "No console to answer the question: nothing was erased."


def winpath(unix_path):
    """The path under Wine's Z: drive, for values the program reads itself."""
    return "Z:" + unix_path.replace("/", "\\")


def wine_result(r):
    return Result(r.rc, r.out)


def snapshot(root):
    """Every name under root with its link target or file contents."""
    out = {}
    for d, ds, fs in os.walk(root):
        for n in ds + fs:
            path = os.path.join(d, n)
            rel = os.path.relpath(path, root)
            if os.path.islink(path):
                out[rel] = "-> " + os.readlink(path)
            elif os.path.isfile(path):
                with open(path, "rb") as f:
                    out[rel] = f.read()
            else:
                out[rel] = "dir"
    return out


def answer_wine(wp, exe, args, cwd, keys, env=None, pause=0.5):
    """answer() for a Windows program under Wine prefix wp; the Result. Now
    and then Wine's console for a pty is not ready when the program opens
    CONIN$ (seen once in many runs, under load): the program then says so and
    erases nothing, so it is started once more, with a note, so that a
    steady failure still shows."""
    for attempt in range(2):
        r, _, _ = answer(wp.argv(exe, args), cwd, wp.env(env), keys, pause=pause)
        if r.lines[-1:] != [NO_CONSOLE]:
            break
        print(f"note: no console on a pty under Wine (attempt {attempt + 1}), starting again")
    return r


def run_form(exe, args, cwd, env=None, timeout=60, wrap=()):
    """Runs exe with args as a user would, quickly enough for attack loops:
    the directory form on a terminal of its own, y typed as soon as it reads
    keys (the terminal has left line mode), standard output to a file and
    standard error on the terminal; the other forms in a session of their
    own with no terminal. wrap is put before the program (a command that
    runs it, such as unshare). Returns a Result with .err (standard error, or what
    the terminal showed); rc is negative when it crashed or had to be killed."""
    import termios
    import time
    from terminal import TerminalRun
    env = native_env(env)
    if args[:1] != ["-d"]:
        try:
            p = subprocess.run(list(wrap) + [exe] + list(args), cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True,
                               timeout=timeout)
        except subprocess.TimeoutExpired:
            return Result(-9, "")
        r = Result(p.returncode, p.stdout.decode("latin-1"))
        r.err = p.stderr.decode("latin-1")
        return r
    with tempfile.TemporaryFile() as out:
        t = TerminalRun(list(wrap) + [exe] + list(args), cwd=cwd, env=env, stdout=out)
        end = time.monotonic() + timeout
        while t.proc.poll() is None and time.monotonic() < end:
            if not termios.tcgetattr(t.master)[3] & termios.ICANON:
                t.send("y")
                break
            t._pump(0.001)
        rc = t.finish(timeout)
        out.seek(0)
        r = Result(rc, out.read().decode("latin-1"))
    r.err = t.screen.decode("latin-1")
    return r


def exchanger(a, b, stop, count):
    """Exchanges the names a and b in one step (renameat2 RENAME_EXCHANGE, so
    neither is ever missing) until stop is set or one is gone; count[0]
    counts the exchanges, so that an attack test can tell that it attacked."""
    while not stop.is_set():
        try:
            exchange(a, b)
        except OSError:
            return
        count[0] += 1


class MoveWatch:
    """The names entries got by being moved into folder while it was watched
    (inotify IN_MOVED_TO), in order: what a rename made on disk, seen by the
    kernel whatever program or server did it."""

    IN_MOVED_TO, IN_NONBLOCK = 0x80, 0x800

    def __init__(self, folder):
        import ctypes
        self.libc = ctypes.CDLL(None, use_errno=True)
        self.folder = folder
        self.fd = -1
        self.moved = []

    def __enter__(self):
        import ctypes
        self.fd = self.libc.inotify_init1(self.IN_NONBLOCK)
        if self.fd < 0 or self.libc.inotify_add_watch(self.fd, os.fsencode(self.folder), self.IN_MOVED_TO) < 0:
            raise OSError(ctypes.get_errno(), "inotify on " + self.folder)
        return self

    def __exit__(self, *exc):
        import struct
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                break
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                if mask & self.IN_MOVED_TO:
                    self.moved.append(os.fsdecode(data[at + 16:at + 16 + length].rstrip(b"\0")))
                at += 16 + length
        os.close(self.fd)


# ---- a tree that someone else changes while the program runs -------------

_libc = ctypes.CDLL(None, use_errno=True)
AT_FDCWD, RENAME_EXCHANGE = -100, 2


def exchange(a, b):
    """Swaps two names in one step, so that neither is ever missing."""
    if _libc.renameat2(AT_FDCWD, a.encode(), AT_FDCWD, b.encode(), RENAME_EXCHANGE) != 0:
        raise OSError(ctypes.get_errno(), os.strerror(ctypes.get_errno()), a)


def exchange_unavailable(folder):
    """Why names in folder cannot be swapped for a link in one step, or None:
    where they cannot, the attack cannot happen and the test cannot measure."""
    real, link = os.path.join(folder, "exchange-probe"), os.path.join(folder, "exchange-probe-link")
    os.mkdir(real)
    os.symlink(folder, link)
    try:
        exchange(real, link)
        exchange(real, link)
        return None
    except OSError as e:
        return f"renameat2(RENAME_EXCHANGE) fails in {folder}: {e.strerror}"
    finally:
        for name in (real, link):
            (os.unlink if os.path.islink(name) else os.rmdir)(name)


class Swapper:
    """Exchanges each pair of names over and over in a thread of its own
    while the with-block lasts. A pair is left when an exchange fails with
    ENOENT: the program removed one of its names. swaps counts the exchanges;
    broken holds any other failure, after which the attack stopped short."""

    def __init__(self, pairs):
        self.pairs = list(pairs)
        self.swaps = 0
        self.broken = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run)

    def __enter__(self):
        self._thread.start()
        return self

    def __exit__(self, *exc):
        self._stop.set()
        self._thread.join()

    def _run(self):
        live = list(self.pairs)
        while live and not self._stop.is_set():
            for pair in list(live):
                try:
                    exchange(*pair)
                    self.swaps += 1
                except OSError as e:
                    live.remove(pair)
                    if e.errno != errno.ENOENT:
                        self.broken.append(f"{pair[0]}: {e.strerror}")

"""Runs the Windows programs under Wine for the integration tests.

The loader and the prefix architecture come from the environment that ctest
sets: KOR_WINE_LOADER and KOR_WINE_ARCH (by default the 64-bit loader and a
win64 prefix, which run the win64 build; the win32 build's tests name the
32-bit loader /usr/lib/wine/wine and win32 prefixes).

When the loader cannot run here (32-bit Wine needs a kernel that runs 32-bit
programs, and the wine32:i386 package), the prefix maker and every test say
why on one line starting with "SKIP:" and exit with checks.SKIP (77), which
ctest counts as skipped for the tests that declare it.

Each test gets a scratch folder and a Wine prefix of its own. Making a prefix
from nothing takes several seconds, so one template prefix is made per ctest
run (the "wineprefix" fixture) and every test copies it. A prefix's wineserver
is shut down when the test is done with it; other prefixes are left alone.

Nothing is left outside the prefix's folder: the server's socket folder
(Debian's wineserver makes TMPDIR/wine-XXXXXX and names it in the prefix's
"wineserver" file) goes to a folder beside the prefix, removed with it; the
menu builder (~/.config/menus, ~/.local/share/applications, ...) and the
PulseAudio driver (~/.config/pulse, /tmp/pulse-*) are turned off, so Wine
falls back to its ALSA driver, which finds no device here and plays nothing.

Wine draws caption buttons with the Marlett symbol font. Debian's fonts-wine
has it in /usr/share/wine/fonts, where this Wine does not look, so every
prefix links it into its own C:\windows\Fonts; without it the buttons come out
as the letters 0, 1 and r.

Used as a library (`with WinePrefix() as wp: wp.run(...)`) and as a command
(`wine.py make-template DIR`, `wine.py remove-template DIR`).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from checks import skip

WINE = os.environ.get("KOR_WINE_LOADER") or "/usr/lib/wine/wine64"
ARCH = os.environ.get("KOR_WINE_ARCH") or "win64"
# One server for both architectures: Debian's script starts the 64-bit one
# where it is installed, which serves 32-bit programs and win32 prefixes too.
WINESERVER = "/usr/lib/wine/wineserver"

_why_not = []


def unavailable():
    """Why the loader cannot run on this machine, or None when it can.
    Starting it (its --version) is the test: a kernel without 32-bit
    support refuses the 32-bit loader with "Exec format error"."""
    if not _why_not:
        _why_not.append(_probe())
    return _why_not[0]


def kernel_runs_32bit():
    """Whether the kernel starts a 32-bit program, as scripts/setup.sh finds
    out (scripts/runs32bit.sh, its probe written beside the build); None
    when that cannot be told."""
    source = os.environ.get("KOR_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..")
    folder = os.environ.get("KOR_BUILD_DIR") or tempfile.gettempdir()
    try:
        rc = subprocess.run(["sh", os.path.join(source, "scripts", "runs32bit.sh"), folder],
                            stderr=subprocess.DEVNULL, timeout=30).returncode
    except (OSError, subprocess.TimeoutExpired):
        return None
    return None if rc == 2 else rc == 0


def _probe(loader=None, arch=None):
    """Why loader (this test's by default) cannot run programs of arch, or None."""
    WINE, ARCH = loader or globals()["WINE"], arch or globals()["ARCH"]
    bits = "32-bit" if ARCH == "win32" else "64-bit"
    package = "wine32:i386" if ARCH == "win32" else "wine64"
    if not os.path.exists(WINE):
        why = f"{bits} Wine is not installed here: no loader {WINE} (package {package})"
        if ARCH == "win32" and kernel_runs_32bit() is False:
            why += "; this kernel does not run 32-bit programs, so scripts/setup.sh leaves it out"
        return why
    try:
        p = subprocess.run([WINE, "--version"], stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=60)
    except OSError as e:
        return (f"the {bits} Wine loader {WINE} cannot be started: {e.strerror}"
                f" (this kernel does not run {bits} programs)")
    except subprocess.TimeoutExpired:
        return f"the {bits} Wine loader {WINE} did not answer --version within 60 s"
    if p.returncode != 0:
        return (f"the {bits} Wine loader {WINE} fails: exit code {p.returncode}, "
                f"{p.stdout.decode('latin-1').strip()[-300:]!r}")
    return None


def skip_unless_available(loader=None, arch=None):
    """Ends the process with checks.SKIP and the reason when Wine cannot run
    here (this test's loader, or the one given for programs of arch)."""
    why = _probe(loader, arch) if loader else unavailable()
    if why:
        skip(why)


class Result:
    def __init__(self, rc, out, err):
        self.rc = rc
        self.out = out
        self.err = err

    @property
    def lines(self):
        return self.out.replace("\r\n", "\n").split("\n")[:-1] if self.out else []

    def __repr__(self):
        return f"Result(rc={self.rc}, out={self.out!r}, err={self.err[-500:]!r})"


# No Mono or Gecko installers (the programs under test need neither), no menu
# entries in the home folder, no PulseAudio client.
DLL_OVERRIDES = "mscoree,mshtml=;winemenubuilder.exe=d;winepulse.drv=d"
MARLETT = "/usr/share/wine/fonts/marlett.ttf"
PREFIX_LOG = "wine-prefixes.log"


def overrides(base, more):
    """WINEDLLOVERRIDES of base with the entries of more added; an entry of
    more replaces the one of base for the same modules."""
    entries = {}
    for text in (base, more):
        for entry in filter(None, (text or "").split(";")):
            modules, _, mode = entry.partition("=")
            entries[modules] = mode
    return ";".join(f"{modules}={mode}" for modules, mode in entries.items())


def server_tmpdir(prefix):
    """Where the prefix's wineserver keeps its socket folder: beside the
    prefix, so that it goes when the prefix's folder goes."""
    return prefix.rstrip("/") + ".tmp"


def _env(prefix, extra=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    env["WINEARCH"] = ARCH
    env["TMPDIR"] = server_tmpdir(prefix)
    os.makedirs(env["TMPDIR"], exist_ok=True)
    if extra:
        env.update(extra)
    env["WINEDLLOVERRIDES"] = overrides(DLL_OVERRIDES, (extra or {}).get("WINEDLLOVERRIDES"))
    return env


def note_prefix(prefix):
    """Adds the prefix's server name (server-DEV-INODE, as wineserver names
    its socket folder after the prefix folder) to PREFIX_LOG in the build
    folder, when there is one, so that leftovers.py can tell this run's server folders from
    those of anyone else using Wine on the machine."""
    log = os.path.join(os.environ.get("KOR_BUILD_DIR") or ".", PREFIX_LOG)
    if os.path.exists(log):  # made by leftovers.py snapshot, in the build that checks
        st = os.stat(prefix)
        with open(log, "a") as f:
            f.write(f"server-{st.st_dev:x}-{st.st_ino:x}\n")


def link_fonts(prefix):
    """Links the caption buttons' symbol font into the prefix, where Wine
    finds it (when fonts-wine is installed)."""
    fonts = os.path.join(prefix, "drive_c", "windows", "Fonts")
    target = os.path.join(fonts, "marlett.ttf")
    if os.path.exists(MARLETT) and os.path.isdir(fonts) and not os.path.lexists(target):
        os.symlink(MARLETT, target)


def _boot(prefix):
    subprocess.run([WINE, "wineboot", "-i"], env=_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=240, check=False)
    subprocess.run([WINESERVER, "-w"], env=_env(prefix), timeout=240, check=False)
    link_fonts(prefix)


def prefix_arch(path):
    """The architecture a prefix was made for (its system.reg's "#arch=" line)."""
    try:
        with open(os.path.join(path, "system.reg"), encoding="latin-1") as f:
            for line in f:
                if line.startswith("#arch="):
                    return line[6:].strip()
    except OSError:
        pass
    return None


def make_template(path):
    skip_unless_available()
    if os.path.exists(os.path.join(path, "system.reg")) and prefix_arch(path) == ARCH:
        return
    shutil.rmtree(path, ignore_errors=True)
    shutil.rmtree(server_tmpdir(path), ignore_errors=True)
    os.makedirs(path)
    note_prefix(path)
    _boot(path)
    if prefix_arch(path) != ARCH:
        raise SystemExit(f"a {ARCH} Wine prefix could not be created in {path} "
                         f"(system.reg says {prefix_arch(path)!r})")


def remove_template(path):
    subprocess.run([WINESERVER, "-k"], env=_env(path), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)
    subprocess.run([WINESERVER, "-w"], env=_env(path), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)
    shutil.rmtree(path, ignore_errors=True)
    shutil.rmtree(server_tmpdir(path), ignore_errors=True)


class WinePrefix:
    """A private Wine prefix and scratch folder, removed on exit."""

    def __init__(self, name="kor"):
        skip_unless_available()
        self.root = tempfile.mkdtemp(prefix=name + "-")
        self.prefix = os.path.join(self.root, "prefix")
        self.scratch = os.path.join(self.root, "scratch")
        os.makedirs(self.scratch)
        template = os.environ.get("KOR_WINE_TEMPLATE")
        if template and prefix_arch(template) != ARCH:
            make_template(template)
        if template:
            shutil.copytree(template, self.prefix, symlinks=True)
            link_fonts(self.prefix)
        else:
            os.makedirs(self.prefix)
        note_prefix(self.prefix)
        if not template:
            _boot(self.prefix)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    @property
    def programdata(self):
        return os.path.join(self.prefix, "drive_c", "ProgramData")

    @property
    def system32(self):
        # The system folder of the prefix's own architecture: system32 both
        # for 64-bit programs in a win64 prefix and for 32-bit programs in a
        # win32 prefix (only a 32-bit program in a win64 prefix would be sent
        # to syswow64).
        return os.path.join(self.prefix, "drive_c", "windows", "system32")

    def env(self, extra=None):
        return _env(self.prefix, extra)

    def argv(self, exe, args=()):
        return [WINE, exe] + list(args)

    def run(self, exe, args=(), cwd=None, timeout=120, stdin=subprocess.DEVNULL, env=None):
        """Runs exe with args in cwd (the scratch folder by default); returns a Result."""
        p = subprocess.run(self.argv(exe, args), cwd=cwd or self.scratch, env=self.env(env),
                           stdin=stdin, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           timeout=timeout)
        return Result(p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1"))

    def hold(self):
        """Keeps the prefix's Wine session (its server and Wine's own system
        services) up until close, started by a program that waits for
        nothing. The services start once, now, with that program's standard
        streams: a fault report of theirs (Wine's services crash now and then
        as they start) then never lands on the standard error of a program
        under test. wait_idle would wait for the holder: not for use with it."""
        quiet = dict(cwd=self.scratch, env=self.env(), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self._holder = subprocess.Popen([WINE, "cmd", "/c", "pause"], stdin=subprocess.PIPE, **quiet)
        # Whichever of the two starts the services, they get no stream of a
        # test's; the second returns once the session is up.
        subprocess.run([WINE, "cmd", "/c", "exit"], stdin=subprocess.DEVNULL, timeout=120, **quiet)

    def wait_idle(self, timeout=60):
        """Waits until every process of this prefix has ended."""
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=timeout, check=False)

    def close(self):
        holder = getattr(self, "_holder", None)  # hold's program
        # Wait until the server has really gone: a new prefix may get this
        # folder's inode number, and with it this server's socket folder.
        subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        subprocess.run([WINESERVER, "-w"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        if holder:  # killed with the rest of the prefix's programs
            holder.stdin.close()
            holder.wait(timeout=60)
        # The server may take a moment to let go of the prefix's files.
        for _ in range(20):
            try:
                shutil.rmtree(self.root)
                return
            except OSError:
                time.sleep(0.2)


if __name__ == "__main__":
    if len(sys.argv) == 3 and sys.argv[1] == "make-template":
        make_template(sys.argv[2])
    elif len(sys.argv) == 3 and sys.argv[1] == "remove-template":
        remove_template(sys.argv[2])
    else:
        raise SystemExit("usage: wine.py make-template|remove-template DIR")

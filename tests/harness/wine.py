"""Runs the 64-bit Windows programs under Wine for the integration tests.

Each test gets a scratch folder and a Wine prefix of its own. Making a prefix
from nothing takes several seconds, so one template prefix is made per ctest
run (the "wineprefix" fixture) and every test copies it. A prefix's wineserver
is shut down when the test is done with it; other prefixes are left alone.

Used as a library (`with WinePrefix() as wp: wp.run(...)`) and as a command
(`wine.py make-template DIR`, `wine.py remove-template DIR`).
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


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


def _env(prefix, extra=None):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    env["WINEARCH"] = "win64"
    # No Mono or Gecko installers: the programs under test need neither.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml="
    if extra:
        env.update(extra)
    return env


def _boot(prefix):
    subprocess.run([WINE, "wineboot", "-i"], env=_env(prefix), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=240, check=False)
    subprocess.run([WINESERVER, "-w"], env=_env(prefix), timeout=240, check=False)


def make_template(path):
    if os.path.exists(os.path.join(path, "system.reg")):
        return
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    _boot(path)
    if not os.path.exists(os.path.join(path, "system.reg")):
        raise SystemExit("wine prefix could not be created in " + path)


def remove_template(path):
    subprocess.run([WINESERVER, "-k"], env=_env(path), stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60, check=False)
    shutil.rmtree(path, ignore_errors=True)


class WinePrefix:
    """A private Wine prefix and scratch folder, removed on exit."""

    def __init__(self, name="kor"):
        self.root = tempfile.mkdtemp(prefix=name + "-")
        self.prefix = os.path.join(self.root, "prefix")
        self.scratch = os.path.join(self.root, "scratch")
        os.makedirs(self.scratch)
        template = os.environ.get("KOR_WINE_TEMPLATE")
        if template and not os.path.exists(os.path.join(template, "system.reg")):
            make_template(template)
        if template:
            shutil.copytree(template, self.prefix, symlinks=True)
        else:
            os.makedirs(self.prefix)
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

    def wait_idle(self, timeout=60):
        """Waits until every process of this prefix has ended."""
        subprocess.run([WINESERVER, "-w"], env=self.env(), timeout=timeout, check=False)

    def close(self):
        # Wait until the server has really gone: a new prefix may get this
        # folder's inode number, and with it this server's socket folder.
        subprocess.run([WINESERVER, "-k"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
        subprocess.run([WINESERVER, "-w"], env=self.env(), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60, check=False)
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

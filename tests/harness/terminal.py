"""Drives a program through a pseudo-terminal, as a user at a keyboard would.

The program sees a real terminal (its controlling tty is the pty), so console
input read from /dev/tty, or from CONIN$ under Wine, comes from the keys sent
here, while standard output may still be captured separately.
"""
import os
import pty
import select
import signal
import subprocess
import time


class TerminalRun:
    """Starts argv on a new pty. Keys go in with send(); everything the
    terminal shows is collected in .screen (bytes)."""

    def __init__(self, argv, cwd=None, env=None, stdout=None):
        self.master, slave = pty.openpty()
        self.screen = b""
        self.proc = subprocess.Popen(
            argv, cwd=cwd, env=env, stdin=slave, stdout=stdout if stdout is not None else slave,
            stderr=slave, start_new_session=True,
            preexec_fn=lambda: __import__("fcntl").ioctl(0, __import__("termios").TIOCSCTTY, 0))
        os.close(slave)

    def _pump(self, timeout):
        r, _, _ = select.select([self.master], [], [], timeout)
        if r:
            try:
                data = os.read(self.master, 65536)
            except OSError:
                return False
            if not data:
                return False
            self.screen += data
            return True
        return False

    def wait_for(self, text, timeout=60):
        """Reads until text (bytes or str) appears on the screen; returns True if it did."""
        if isinstance(text, str):
            text = text.encode()
        end = time.time() + timeout
        while text not in self.screen and time.time() < end:
            self._pump(0.1)
        return text in self.screen

    def send(self, keys):
        if isinstance(keys, str):
            keys = keys.encode()
        os.write(self.master, keys)

    def finish(self, timeout=120):
        """Waits for the program to end, reading the screen meanwhile; returns its exit code."""
        end = time.time() + timeout
        while self.proc.poll() is None and time.time() < end:
            self._pump(0.1)
        if self.proc.poll() is None:
            os.killpg(self.proc.pid, signal.SIGKILL)
            self.proc.wait()
        while self._pump(0.05):
            pass
        os.close(self.master)
        return self.proc.returncode

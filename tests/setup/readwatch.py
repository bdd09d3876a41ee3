"""Tells whether another process read a file, through Linux inotify.

Used to see that the shipped Korwipe opens and reads the config.cfg that
cfgsetup placed, without any hook in the program: Wine's file reads are
plain reads of the Linux file, and each raises IN_ACCESS for the file's name
in the watched folder. Standard library only (ctypes over libc).
"""
import ctypes
import os
import struct

IN_ACCESS = 0x00000001
IN_OPEN = 0x00000020
IN_NONBLOCK = 0o4000

_libc = ctypes.CDLL("libc.so.6", use_errno=True)


class ReadWatch:
    """Watches one folder for opens and reads; use as a context manager."""

    def __init__(self, folder):
        self.fd = _libc.inotify_init1(IN_NONBLOCK)
        if self.fd < 0:
            raise OSError(ctypes.get_errno(), "inotify_init1")
        if _libc.inotify_add_watch(self.fd, os.fsencode(folder), IN_ACCESS | IN_OPEN) < 0:
            os.close(self.fd)
            raise OSError(ctypes.get_errno(), "inotify_add_watch " + folder)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        os.close(self.fd)

    def seen(self, name):
        """(opened, read): what happened to name since the last call."""
        opened = read = False
        while True:
            try:
                data = os.read(self.fd, 65536)
            except BlockingIOError:
                return opened, read
            at = 0
            while at < len(data):
                _, mask, _, length = struct.unpack_from("iIII", data, at)
                if data[at + 16:at + 16 + length].rstrip(b"\0").decode("utf-8", "replace") == name:
                    opened |= bool(mask & IN_OPEN)
                    read |= bool(mask & IN_ACCESS)
                at += 16 + length

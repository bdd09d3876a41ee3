"""File-system images on loop devices of their own, and the search of a raw
image for markers: what the forensic tests share.

Every loop device and mount made here goes on every way out; the image file
stays for the search and is removed by the caller."""
import collections
import contextlib
import os
import re
import subprocess
import sys
import time

MIB = 1 << 20


def tool(argv, **kw):
    # A hung mkfs or mount ends in an exception, so the clean-up still runs.
    return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          timeout=120, **kw)


class Unavailable(Exception):
    pass


def text(p):
    return p.stderr.decode(errors="replace").strip()


@contextlib.contextmanager
def loop_device(image):
    """A loop device of our own over image; detached on every way out."""
    p = tool(["losetup", "--find", "--show", image])
    if p.returncode != 0:
        raise Unavailable(f"no loop device: {text(p)}")
    device = p.stdout.decode().strip()
    try:
        yield device
    finally:
        tool(["losetup", "-d", device])


@contextlib.contextmanager
def mount(device, mnt, options=None, fstype=None):
    """Mounts device (or an overlay, with fstype) on mnt; unmounted on every
    way out, lazily when something still holds it."""
    os.makedirs(mnt, exist_ok=True)
    p = tool(["mount"] + (["-t", fstype] if fstype else []) + (["-o", options] if options else []) + [device, mnt])
    if p.returncode != 0:
        raise Unavailable(f"mount failed: {text(p)}")
    try:
        yield mnt
    finally:
        for _ in range(20):
            if tool(["umount", mnt]).returncode == 0:
                break
            time.sleep(0.25)
        else:
            tool(["umount", "-l", mnt])


def make_image(image, size, mkfs):
    with open(image, "wb") as f:
        f.truncate(size)
    p = tool(mkfs + [image])
    if p.returncode != 0:
        raise Unavailable(f"{' '.join(mkfs)} failed: {text(p)}")


@contextlib.contextmanager
def mounted(image, mkfs, options, mnt, size):
    """Makes the file system in image and mounts it on mnt through a loop
    device of our own. On every way out the mount and the device go; the
    image stays for the search."""
    make_image(image, size, mkfs)
    with loop_device(image) as device, mount(device, mnt, options):
        yield mnt


def scan(image, patterns):
    """Counts every match of each pattern (bytes regexes, each starting with
    a literal prefix of at least four bytes) in the image, streamed in chunks
    that overlap by more than the longest match."""
    counts = [collections.Counter() for _ in patterns]
    prefixes = [re.match(rb"[^\\\[(.*+?]{4,}", p.pattern).group() for p in patterns]
    overlap = 64
    with open(image, "rb") as f:
        tail = b""
        while True:
            data = f.read(8 * MIB)
            if not data:
                break
            chunk = tail + data
            for pattern, prefix, counter in zip(patterns, prefixes, counts):
                if prefix not in chunk:
                    continue
                # A match that ends inside the tail was whole in the previous chunk.
                for m in pattern.finditer(chunk):
                    if m.end() > len(tail):
                        counter[m.group()] += 1
            tail = chunk[-overlap:]
    return counts

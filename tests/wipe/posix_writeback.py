"""Korwipe on Linux: a disk that fails to take the overwritten bytes of a
large file's first segments. The writes land in the cache and succeed; only
their way to the disk fails, and the first segments of a pass are waited for
on that way while later segments are still written (the flush at the end of
the pass waits for the rest). The error must end the erase as a failed
write: `error writing file (segment Nl)`, exit code 5, and the file stays
under its own name. The same for one small file among others erased side by
side, whose flush they share: that one file fails, in its place, and the
others are erased.

The fault is real: ext4 on a loop device whose image file lies on a small
tmpfs. Once the 96 MiB file (six segments) is written and synced, the
image's blocks under its first segment are punched out and the tmpfs is
filled, so ext4 still believes the blocks are there while the store under
them can take no page.

Needs root, tmpfs, a loop device and mkfs.ext4; says why and exits with 77
where one is missing.
"""
import fcntl
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time

from checks import Checks, skip
from wipetest import ERASED, native_env, programs, without_device_warning

MIB = 1 << 20
SEGMENT = 16 * MIB
FILE_SIZE = 6 * SEGMENT
STORE_SIZE = 192 * MIB
IMAGE_SIZE = 160 * MIB
TOOLS = ["mount", "umount", "losetup", "mkfs.ext4", "fallocate"]

shipped, testcfg = programs()
c = Checks()


class Unavailable(Exception):
    pass


def tool(argv, what):
    # A hung tool ends in an exception, so the clean-up still runs.
    p = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                       timeout=60)
    if p.returncode != 0 and what:
        raise Unavailable(f"{what}: {p.stderr.decode(errors='replace').strip()}")
    return p


def extents(path):
    """(offset in the file, offset on the device, length) of every extent, from FIEMAP."""
    count = 64
    # flags FIEMAP_FLAG_SYNC; 56 bytes for every extent
    request = bytearray(struct.pack("QQIIII", 0, FILE_SIZE, 1, 0, count, 0) + bytes(56 * count))
    with open(path, "rb") as f:
        fcntl.ioctl(f.fileno(), 0xC020660B, request)  # FS_IOC_FIEMAP
    mapped = struct.unpack_from("I", request, 20)[0]
    return [struct.unpack_from("QQQ", request, 32 + 56 * i) for i in range(mapped)]


def unmount(path):
    for _ in range(20):
        if tool(["umount", path], None).returncode == 0:
            return
        time.sleep(0.25)
    tool(["umount", "-l", path], None)


if os.geteuid() != 0:
    skip("needs root for tmpfs, a loop device and mounting")
missing = [t for t in TOOLS if not shutil.which(t)]
if missing:
    skip("missing " + ", ".join(missing))

base = tempfile.mkdtemp(prefix="korwipe-writeback-")
store, fs = os.path.join(base, "store"), os.path.join(base, "fs")
mounts, device = [], None
try:
    os.makedirs(store)
    os.makedirs(fs)
    tool(["mount", "-t", "tmpfs", "-o", f"size={STORE_SIZE}", "korwipe-store", store], "no tmpfs")
    mounts.append(store)
    image = os.path.join(store, "image")
    with open(image, "wb") as f:
        f.truncate(IMAGE_SIZE)
    # Blocks of 4 KiB, the tmpfs's page: a punched block frees its page and
    # touches no neighbour.
    tool(["mkfs.ext4", "-q", "-F", "-b", "4096", image], "mkfs.ext4 failed")
    # mkfs leaves what it zeroes (journal, inode tables) as holes: every block
    # gets its page now, so that nothing but the punched blocks lacks one.
    with open(image, "r+b") as f:
        os.posix_fallocate(f.fileno(), 0, IMAGE_SIZE)
    device = tool(["losetup", "--find", "--show", image], "no loop device").stdout.decode().strip()
    tool(["mount", device, fs], "mounting ext4 failed")
    mounts.append(fs)

    target = os.path.join(fs, "big.dat")
    with open(target, "wb") as f:
        for i in range(FILE_SIZE // MIB):
            f.write(bytes([i + 1]) * MIB)
        os.fsync(f.fileno())
    os.makedirs(os.path.join(fs, "small"))
    for i in range(10):
        with open(os.path.join(fs, "small", f"s{i}"), "wb") as f:
            f.write(bytes([i + 1]) * 8192)
            os.fsync(f.fileno())
    punched = [(target, SEGMENT), (os.path.join(fs, "small", "s5"), 8192)]
    for path, upto in punched:
        for logical, physical, length in extents(path):
            start, end = logical, min(logical + length, upto)
            if start < end:
                tool(["fallocate", "--punch-hole", "--offset", str(physical), "--length", str(end - start), image],
                     "punching the image failed")
    filler = os.path.join(store, "filler")
    st = os.statvfs(store)
    with open(filler, "wb") as f:
        try:
            os.posix_fallocate(f.fileno(), 0, st.f_bavail * st.f_frsize)
        except OSError:
            pass  # as full as it gets
    st = os.statvfs(store)
    if st.f_bavail != 0:
        raise Unavailable(f"the tmpfs could not be filled ({st.f_bavail} blocks left)")

    p = subprocess.run([testcfg, "small/*"], cwd=fs, env=native_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True, timeout=300)
    c.eq("one small file fails among others", (p.returncode, without_device_warning(p.stdout.decode("latin-1")).splitlines()),
         (0, ["error writing file (segment 0l)", "Some files couldn't be erased.", "done."]))
    c.eq("the small file that failed stays", sorted(os.listdir(os.path.join(fs, "small"))), ["s5"])

    p = subprocess.run([testcfg, "big.dat"], cwd=fs, env=native_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True, timeout=300)
    out, err = p.stdout.decode("latin-1"), p.stderr.decode("latin-1")
    failed = p.returncode == 5 and re.fullmatch(r"error writing file \(segment [0-5]l\)\n", out)
    c.true("write-back error ends the erase", failed,
           f"exit code {p.returncode}, standard output {out!r}, standard error {err!r}")
    c.eq("what is left on the file system", sorted(set(os.listdir(fs)) & {"big.dat", ERASED}), ["big.dat"])
except Unavailable as e:
    skip(str(e))
finally:
    for m in reversed(mounts):
        unmount(m)
    if device:
        tool(["losetup", "-d", device], None)
    shutil.rmtree(base, ignore_errors=True)

c.done()

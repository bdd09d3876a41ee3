"""Korwipe on Linux and a directory that cannot be read to its end.

An ext4 image (on a loop device of its own) holds big/, a hashed directory
of 2,000 files and three subdirectories; one of its blocks in the middle is
overwritten in the raw image, so that its checksum fails and listing big/
stops with an error part-way. Each form must then report the failure: an
`error reading directory big/` line, the summary of its form, the exit code
of a failure and no `done.` (a listing error taken as the end of the listing
would erase what came before it and say `done.`). Needs root, losetup,
mkfs.ext4 and debugfs; says it skipped (77) where they are missing. Every
mount and loop device goes on every way out.
"""
import contextlib
import os
import shutil
import subprocess
import sys
import tempfile

from checks import Checks, skip
from wipetest import PROMPT_MANY, PROMPT_ONE, programs, run_form

FILES, BLOCK = 2000, 4096

shipped, testcfg = programs()


def tool(argv):
    return subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)


@contextlib.contextmanager
def mounted(image, mnt, options):
    """image mounted on mnt through a loop device of our own."""
    p = tool(["losetup", "--find", "--show", image])
    if p.returncode != 0:
        raise RuntimeError(f"no loop device: {p.stderr.decode(errors='replace').strip()}")
    device = p.stdout.decode().strip()
    try:
        p = tool(["mount", "-o", options, device, mnt])
        if p.returncode != 0:
            raise RuntimeError(f"mount failed: {p.stderr.decode(errors='replace').strip()}")
        try:
            yield mnt
        finally:
            if tool(["umount", mnt]).returncode != 0:
                tool(["umount", "-l", mnt])
    finally:
        tool(["losetup", "-d", device])


def fill(mnt):
    big = os.path.join(mnt, "big")
    os.makedirs(big)
    for i in range(FILES):
        with open(os.path.join(big, f"file-{i:04d}-with-a-name-long-enough.dat"), "wb") as f:
            f.write(b"contents %d" % i)
    for d in ("d0", "d1", "d2"):
        os.makedirs(os.path.join(big, d))
        with open(os.path.join(big, d, "inner.dat"), "wb") as f:
            f.write(b"inner")
    os.sync()


def damage(image):
    """Overwrites the middle of one of big/'s blocks (not its first, the
    index root) in the raw image."""
    p = tool(["debugfs", "-R", "blocks /big", image])
    blocks = [int(b) for b in p.stdout.split()]
    if len(blocks) < 3:
        raise RuntimeError(f"big/ has {len(blocks)} blocks: {p.stderr.decode(errors='replace').strip()}")
    with open(image, "r+b") as f:
        f.seek(blocks[len(blocks) // 2] * BLOCK + 1024)
        f.write(b"\xa5" * 512)


# arguments (run in the file system's root), expected exit code, the lines
# the output must hold
ROWS = [
    (["big/*"], 1, ["error reading directory big/", "Some files couldn't be erased."]),
    (["-d", "big"], 1, [PROMPT_ONE, "Erasing directory big/", "error reading directory big/",
                        "Some directories couldn't be erased."]),
    (["-d", "big/d*"], 1, [PROMPT_MANY, "error reading directory big/", "Some directories couldn't be erased."]),
]


def main():
    if os.geteuid() != 0:
        skip("needs root to mount an image on a loop device")
    missing = [t for t in ("losetup", "mount", "umount", "mkfs.ext4", "debugfs") if not shutil.which(t)]
    if missing:
        skip(f"missing {', '.join(missing)}")
    c = Checks()
    for args, rc, must in ROWS:
        case = " ".join(args)
        work = tempfile.mkdtemp(prefix="korwipe-dirfault-")
        try:
            image, mnt = os.path.join(work, "fs.img"), os.path.join(work, "mnt")
            os.makedirs(mnt)
            with open(image, "wb") as f:
                f.truncate(64 << 20)
            p = tool(["mkfs.ext4", "-q", "-F", "-b", str(BLOCK), "-O", "metadata_csum,dir_index", image])
            if p.returncode != 0:
                raise RuntimeError(f"mkfs.ext4 failed: {p.stderr.decode(errors='replace').strip()}")
            with mounted(image, mnt, "rw"):
                fill(mnt)
            damage(image)
            with mounted(image, mnt, "rw,errors=continue"):
                listed = tool(["ls", "-f", os.path.join(mnt, "big")])
                c.true(f"{case}: the damage breaks the listing (else not measured)", listed.returncode != 0,
                       f"ls listed {len(listed.stdout.split())} names without an error")
                r = run_form(testcfg, args, mnt, timeout=120)
                c.eq(f"{case}: exit code", r.rc, rc)
                c.eq(f"{case}: lines missing from the output", [l for l in must if l not in r.lines], [])
                c.true(f"{case}: no done.", "done." not in r.lines, f"{r.lines[-3:]}")
        except RuntimeError as e:
            skip(f"{e}")
        finally:
            shutil.rmtree(work, ignore_errors=True)
    c.done()


main()

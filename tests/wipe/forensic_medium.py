"""The storage under a file, and files with holes, on real devices.

- Loop devices whose queue/rotational is set to 0 (what the kernel reports
  for an SSD or NVMe drive) and to 1, with ext4 on the device itself and on
  a partition of it (addpart: a partition has no queue/ of its own):
  erasing three files gives exactly one line naming the device for 0 and
  none for 1, standard output and exit code as always. The same over a
  device-mapper device, where the kernel has device-mapper.
- An overlay mount whose layers lie on ext4: a file from the lower layer,
  erased through the merged view, gets the per-file warning, and its
  original is still whole below (in the folder and in the raw image); a
  file made in the upper layer gets none and leaves nothing.
- A sparse file of 50 GiB apparent size holding 8 MiB of data in runs (one
  across a 16 MiB segment boundary, one past 4 GiB, one at the very end) on a
  64 MiB ext4, erased with three passes: the file system never fills, the
  erase says done. and the raw image holds none of its markers afterwards.
- A file of 12 MiB of markers, written and synced, whose middle 4 MiB are
  then zeroed with fallocate -z, on ext4 and on xfs: on ext4 the range
  becomes unwritten extents, which read as a hole, on the same blocks, which
  still hold the old markers (checked before the erase: otherwise "not
  measured"). After one pass the raw image holds none of the markers. xfs
  frees the range's blocks and gives it new ones: the old markers lie in
  free space, out of reach of any overwrite, and the row says so as not
  measured.

Every loop device goes and every rotational value is put back on every way
out. Needs root, loop devices, mkfs.ext4 and addpart; without them it says
so and exits 77 (ctest: skipped).
"""
import contextlib
import os
import re
import secrets
import shutil
import subprocess
import tempfile
import time

from forensic_images import MIB, Unavailable, loop_device, make_image, mount, mounted, scan, text, tool
from checks import Checks, skip
from wipetest import native_env, programs

shipped, testcfg = programs()
MARKER = re.compile(rb"<KorMed[a-z][0-9][0-9a-f]{6}>")  # 16 bytes
SSD = "is a solid-state drive: it writes to fresh flash pages and keeps the old ones until it clears them"
LOWER = "overlay: its original stays in a lower layer"
MKFS = ["mkfs.ext4", "-q", "-F", "-b", "4096"]


def run_korwipe(args, cwd, setting=None):
    env = native_env()
    if setting is not None:
        cfg = os.path.join(os.path.dirname(cwd.rstrip("/")), "korwipe-medium.cfg")
        with open(cfg, "wb") as f:
            f.write(bytes([setting]))
        env["KORWIPE_TEST_CONFIG"] = cfg
    p = subprocess.run([testcfg] + args, cwd=cwd, env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                       stderr=subprocess.PIPE, start_new_session=True, timeout=300)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def marked(way, i, size):
    marker = f"<KorMed{way}{i}{secrets.token_hex(3)}>".encode()
    return marker, (marker * (size // 16 + 1))[:size]


class Rotational:
    """Sets a device's queue/rotational and puts the old value back."""

    def __init__(self, device, value):
        self.path = f"/sys/block/{os.path.basename(device)}/queue/rotational"
        self.value = value

    def __enter__(self):
        with open(self.path) as f:
            self.old = f.read().strip()
        with open(self.path, "w") as f:
            f.write(self.value)
        return self

    def __exit__(self, *exc):
        with open(self.path, "w") as f:
            f.write(self.old)


@contextlib.contextmanager
def partition(loop, wanted):
    """The loop device itself, or a partition of it made with addpart (from
    1 MiB, 80 MiB long) and removed on every way out."""
    if not wanted:
        yield loop
        return
    p = tool(["addpart", loop, "1", "2048", str(80 * MIB // 512)])
    if p.returncode != 0:
        raise Unavailable(f"addpart failed: {p.stderr.decode().strip()}")
    try:
        for _ in range(100):
            if os.path.exists(loop + "p1"):
                break
            time.sleep(0.05)
        yield loop + "p1"
    finally:
        tool(["delpart", loop, "1"])


def erase_three(fs_device, mnt, c, case):
    """Three files in a folder on the mounted file system, erased by pattern;
    returns standard error."""
    work = os.path.join(mnt, "work")
    os.makedirs(work)
    for i, size in enumerate([100, 5000, 3 * MIB]):
        with open(os.path.join(work, f"f{i}.dat"), "wb") as f:
            f.write(marked("r", i, size)[1])
    os.sync()
    rc, out, err = run_korwipe(["f*.dat"], work)
    c.eq(f"{case}: exit code and output", (rc, out), (0, "done.\n"))
    c.eq(f"{case}: nothing left", os.listdir(work), [])
    return err


def rotational_cases(root, c):
    for value in ("0", "1"):
        for partitioned in (False, True):
            case = f"rotational {value}, {'a partition of the loop device' if partitioned else 'the loop device'}"
            image = os.path.join(root, "image")
            try:
                with open(image, "wb") as f:
                    f.truncate(96 * MIB)
                with loop_device(image) as loop, Rotational(loop, value), partition(loop, partitioned) as fs_device:
                    p = tool(MKFS + [fs_device])
                    c.eq(f"{case}: mkfs", p.returncode, 0)
                    with mount(fs_device, os.path.join(root, "mnt")) as mnt:
                        err = erase_three(fs_device, mnt, c, case)
                name = os.path.basename(loop)
                want = f"warning: the old contents of files erased on {fs_device} may remain on the disk ({name} {SSD})\n"
                c.eq(f"{case}: standard error", err, want if value == "0" else "")
            finally:
                if os.path.exists(image):
                    os.remove(image)
            print(f"{case}: measured")


def device_mapper_case(root, c):
    if not os.path.exists("/dev/mapper/control") or not shutil.which("dmsetup"):
        print("device-mapper over a loop device: not measured (the kernel has no device-mapper)")
        return
    image = os.path.join(root, "image")
    name = f"korwipe-medium-{os.getpid()}"
    try:
        with open(image, "wb") as f:
            f.truncate(96 * MIB)
        with loop_device(image) as loop, Rotational(loop, "0"):
            table = f"0 {96 * MIB // 512} linear {loop} 0"
            p = tool(["dmsetup", "create", name, "--table", table])
            if p.returncode != 0:
                reason = (p.stderr.decode(errors="replace").strip().splitlines() or ["dmsetup failed"])[0]
                print(f"device-mapper over a loop device: not measured ({reason})")
                return
            try:
                mapped = f"/dev/mapper/{name}"
                c.eq("device-mapper: mkfs", tool(MKFS + [mapped]).returncode, 0)
                with mount(mapped, os.path.join(root, "mnt")) as mnt:
                    err = erase_three(mapped, mnt, c, "device-mapper")
                want = (f"warning: the old contents of files erased on {mapped} may remain on the disk "
                        f"({os.path.basename(loop)} {SSD})\n")
                c.eq("device-mapper over a solid-state loop device: standard error", err, want)
            finally:
                tool(["dmsetup", "remove", name])
    finally:
        if os.path.exists(image):
            os.remove(image)


def overlay_case(root, c):
    image, mnt = os.path.join(root, "image"), os.path.join(root, "mnt")
    low_marker, low_data = marked("o", 0, 2 * MIB)
    new_marker, new_data = marked("o", 1, 2 * MIB)
    try:
        with mounted(image, MKFS, None, mnt, 128 * MIB):
            for d in ("lower", "upper", "work", "merged"):
                os.mkdir(os.path.join(mnt, d))
            with open(os.path.join(mnt, "lower", "low.dat"), "wb") as f:
                f.write(low_data)
            options = f"lowerdir={mnt}/lower,upperdir={mnt}/upper,workdir={mnt}/work"
            try:
                with mount("overlay", os.path.join(mnt, "merged"), options, "overlay") as merged:
                    with open(os.path.join(merged, "new.dat"), "wb") as f:
                        f.write(new_data)
                    os.sync()
                    rc, out, err = run_korwipe(["low.dat"], merged)
                    c.eq("overlay, lower-layer file: exit code, output, warning", (rc, out, err),
                         (0, "done.\n", f"warning: the old contents of low.dat may remain on the disk ({LOWER})\n"))
                    rc, out, err = run_korwipe(["new.dat"], merged)
                    c.eq("overlay, upper-layer file: exit code, output, warning", (rc, out, err), (0, "done.\n", ""))
                    c.eq("overlay: nothing left in the merged view", sorted(os.listdir(merged)), [])
            except Unavailable as e:
                print("overlay: not measured:", e)
                return
            with open(os.path.join(mnt, "lower", "low.dat"), "rb") as f:
                c.true("overlay: the lower layer's original is unchanged", f.read() == low_data)
        markers = scan(image, [MARKER])[0]
        c.true("overlay: the lower original's markers are in the image", markers[low_marker] > 0)
        c.eq("overlay: markers of the upper-layer file left", markers[new_marker], 0)
    finally:
        if os.path.exists(image):
            os.remove(image)
    print("overlay: measured")


# Runs of data in the sparse file: (offset, length).
GIB = 1 << 30
SPARSE_SIZE = 50 * GIB
SPARSE_RUNS = [(0, MIB), (16 * MIB - 512 * 1024, MIB), (3 * GIB + 12345 * 4096, 2 * MIB),
               (5 * GIB, 3 * MIB), (SPARSE_SIZE - MIB, MIB)]
# The file whose middle is zeroed: (offset, length) of its three runs; the
# second is zeroed with fallocate -z after all three were written and synced.
ZEROED_RUNS = [(0, 4 * MIB), (4 * MIB, 4 * MIB), (8 * MIB, 4 * MIB)]


def with_holes(path, image, markers):
    """50 GiB of apparent size, SPARSE_RUNS written; the rest never had a block."""
    with open(path, "wb") as f:
        f.truncate(SPARSE_SIZE)
        for i, (offset, length) in enumerate(SPARSE_RUNS):
            marker, data = marked("s", i, length)
            markers.append(marker)
            f.seek(offset)
            f.write(data)
    os.sync()


def block_map(path):
    """{logical block: (physical block, unwritten)} of the file as filefrag -v
    reports it, and the block size it counts in."""
    p = tool(["filefrag", "-v", path])
    if p.returncode != 0:
        raise Unavailable(f"filefrag failed: {text(p)}")
    out = p.stdout.decode()
    size = re.search(r"blocks of (\d+) bytes", out)
    blocks = {}
    for m in re.finditer(r"^\s*\d+:\s*(\d+)\.\.\s*(\d+):\s*(\d+)\.\.\s*\d+:.*$", out, re.M):
        first, last, physical = (int(g) for g in m.groups())
        for k in range(first, last + 1):
            blocks[k] = (physical + k - first, "unwritten" in m.group(0))
    return blocks, int(size.group(1)) if size else 4096


def zeroed_middle(path, image, markers):
    """ZEROED_RUNS written and synced, then the middle run zeroed with
    fallocate -z and synced again. The attack counts only when the zeroed
    range became unwritten extents (it then reads as a hole) on the very
    blocks that held it, with its old markers still in the image: otherwise
    Unavailable (not measured). A file system that frees the range's blocks
    and gives it new ones leaves the old contents in free space, where no
    overwrite through the file reaches. The range is not read back: pages in
    the cache over an unwritten extent make SEEK_DATA call it data, which
    would hide the fault."""
    with open(path, "wb") as f:
        for i, (offset, length) in enumerate(ZEROED_RUNS):
            marker, data = marked("z", i, length)
            markers.append(marker)
            f.write(data)
    os.sync()
    before, size = block_map(path)
    offset, length = ZEROED_RUNS[1]
    p = tool(["fallocate", "-z", "-o", str(offset), "-l", str(length), path])
    if p.returncode != 0:
        raise Unavailable(f"fallocate -z failed: {text(p)}")
    os.sync()
    after = block_map(path)[0]
    middle = range(offset // size, (offset + length) // size)
    if not all(after.get(k, (None, False))[1] for k in middle):
        raise Unavailable("fallocate -z left the range as written extents")
    if any(after[k][0] != before.get(k, (None,))[0] for k in middle):
        raise Unavailable("fallocate -z gave the range new blocks and freed the old ones")
    if scan(image, [MARKER])[0][markers[1]] == 0:
        raise Unavailable("the zeroed range's old contents are not in the image")


# label, mkfs, image size, the file's making, passes
SPARSE_CASES = [
    ("sparse file of 50 GiB on 64 MiB ext4, three passes", MKFS, 64 * MIB, with_holes, 3),
    ("a range zeroed with fallocate -z (unwritten extents) on ext4", MKFS, 64 * MIB, zeroed_middle, 1),
    ("a range zeroed with fallocate -z (unwritten extents) on xfs", ["mkfs.xfs", "-q", "-f"], 320 * MIB,
     zeroed_middle, 1),
]


def sparse_cases(root, c):
    """Erases each file of SPARSE_CASES on a file system of its own, then
    searches the raw image for the markers of every run of it."""
    image, mnt = os.path.join(root, "image"), os.path.join(root, "mnt")
    for case, mkfs, size, make, passes in SPARSE_CASES:
        if not shutil.which(mkfs[0]):
            print(f"{case}: not measured (no {mkfs[0]})")
            continue
        markers = []
        try:
            with mounted(image, mkfs, None, mnt, size):
                work = os.path.join(mnt, "work")
                os.mkdir(work)
                make(os.path.join(work, "sparse.dat"), image, markers)
                rc, out, err = run_korwipe(["sparse.dat"], work, setting=passes)
                c.eq(f"{case}: exit code, output, standard error", (rc, out, err), (0, "done.\n", ""))
                c.eq(f"{case}: nothing left", os.listdir(work), [])
            counts = scan(image, [MARKER])[0]
            c.eq(f"{case}: markers left per run", [counts[m] for m in markers], [0] * len(markers))
            print(f"{case}: measured")
        except Unavailable as e:
            print(f"{case}: not measured: {e}")
        finally:
            if os.path.exists(image):
                os.remove(image)


def main():
    if os.geteuid() != 0:
        skip("needs root to make and mount file systems on loop devices")
    missing = [t for t in ("losetup", "mount", "umount", "addpart", "delpart", "mkfs.ext4") if not shutil.which(t)]
    if missing or not os.path.exists("/dev/loop-control"):
        skip("needs loop devices and " + ", ".join(missing or ["/dev/loop-control"]))
    c = Checks()
    root = tempfile.mkdtemp(prefix="korwipe-medium-")
    try:
        for case in (rotational_cases, device_mapper_case, overlay_case, sparse_cases):
            try:
                case(root, c)
            except Unavailable as e:
                print(f"{case.__name__}: not measured: {e}")
    finally:
        if os.path.ismount(os.path.join(root, "mnt")):
            print("still mounted, left in place:", os.path.join(root, "mnt"))
        else:
            shutil.rmtree(root, ignore_errors=True)
    c.done()


main()

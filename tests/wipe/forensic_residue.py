"""What is left on the disk after erasing, searched for in the raw image.

For every file system and every way of erasing, a 320 MiB image file on a
loop device of its own gets eight files (1 byte to 20 MiB + 12345 bytes:
every pass count, more than one 16 MiB segment), each filled with a 16-byte
marker of its own, and is synced. The files are then erased one way (rm,
shred -u -n 1, Korwipe by name, by pattern, or with -d answered y through a
terminal), the file system is unmounted, and the image is searched for every
marker and every original file name. One image per file system and way, so
that no erase can hide another's residue by reusing its blocks.

Korwipe must leave no byte of any marker on ext4 (ordered and data=journal)
and xfs; rm on the same files must leave markers (the control: it shows the
search finds them). On ext4 ordered and xfs no file gets a warning; on btrfs
(copy-on-write) and ext4 data=journal (the journal keeps copies until it
wraps round) every file gets the warning line, and the residue is printed
for information. Wherever Korwipe gives no warning, nothing may remain. A
file of 3000 bytes erased alone on a fresh image shows what the eight files'
20 MiB hide: without them the journal of data=journal still holds it. A
file whose blocks are shared with a reflinked copy on xfs gets the warning
that its blocks moved; btrfs files made without copy-on-write (chattr +C)
are overwritten in place and get none. The 1-byte file holds no whole marker: it is erased
but cannot be counted.

Needs root, loop devices, and each file system's mkfs tool; without them the
test, or that file system, is skipped with a message (exit 77 when nothing
could be measured).
"""
import os
import re
import secrets
import shutil
import subprocess
import tempfile

import forensic_images
from checks import Checks, skip
from forensic_images import MIB, Unavailable, scan, tool
from wipetest import PROMPT_ONE, answer, native_env, programs, without_device_warning

SIZES = [1, 100, 1023, 3000, 5119, 9000, MIB, 20 * MIB + 12345]
IMAGE_SIZE = 320 * MIB
# label, mkfs command (the image is appended), mount options
FILE_SYSTEMS = [
    ("ext4", ["mkfs.ext4", "-q", "-F"], None),
    ("ext4 data=journal", ["mkfs.ext4", "-q", "-F"], "data=journal"),
    # The same mode as the file system's own default: mountinfo does not show it.
    ("ext4 journal_data default", ["sh", "-c", 'mkfs.ext4 -q -F "$0" && tune2fs -o journal_data "$0" >/dev/null'],
     None),
    ("xfs", ["mkfs.xfs", "-q", "-f"], None),
    ("btrfs", ["mkfs.btrfs", "-q", "-f"], None),
]
IN_PLACE = {"ext4", "ext4 data=journal", "ext4 journal_data default", "xfs"}
COPY_ON_WRITE = "copy-on-write file system"
JOURNAL = "copies in the file system's journal"
MOVED = "its blocks moved while it was overwritten"
REASONS = {"ext4": None, "ext4 data=journal": JOURNAL, "ext4 journal_data default": JOURNAL, "xfs": None,
           "btrfs": COPY_ON_WRITE}
WAYS = ["rm", "shred", "single", "pattern", "tree"]
HEADINGS = {"rm": "rm", "shred": "shred -u -n 1", "single": "Korwipe NAME", "pattern": "Korwipe PATTERN",
            "tree": "Korwipe -d", "alone": "Korwipe NAME, one file alone"}
ALONE_SIZE = 3000
MARKER = re.compile(rb"<KorRes[a-z][0-9][0-9a-f]{6}>")  # 16 bytes, no zero byte
NAME = re.compile(rb"korres-[a-z]+-[0-9]\.dat")
WARNING = re.compile(r"warning: (?!the old contents of files erased on )[^\r\n]*")

shipped, testcfg = programs()


def mounted(image, mkfs, options, mnt):
    return forensic_images.mounted(image, mkfs, options, mnt, IMAGE_SIZE)


def make_files(work, way, sizes):
    """The files of one way, synced; returns [(path as Korwipe gets it, marker, size)]."""
    files = []
    for i, size in enumerate(sizes):
        marker = f"<KorRes{way[0]}{i}{secrets.token_hex(3)}>".encode()
        if way == "tree":
            rel = os.path.join("tree", *(["a"] * (i >= 3)), *(["b"] * (i >= 6)), f"korres-{way}-{i}.dat")
        else:
            rel = f"korres-{way}-{i}.dat"
        path = os.path.join(work, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write((marker * (size // 16 + 1))[:size])
        files.append((rel, marker, size))
    os.sync()
    return files


def run_korwipe(args, cwd):
    p = subprocess.run([testcfg] + args, cwd=cwd, env=native_env(), stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True, timeout=300)
    return p.returncode, p.stdout.decode("latin-1"), p.stderr.decode("latin-1")


def erase(way, work, files, c, case):
    """Erases the files one way. Korwipe's standard output and exit codes are
    checked here; returns everything it wrote on standard error (or, for -d,
    on its terminal) for the warning checks, None for the other tools."""
    names = [rel for rel, _, _ in files]
    if way in ("rm", "shred"):
        argv = ["rm", "-f", "--"] if way == "rm" else ["shred", "-u", "-n", "1", "--"]
        p = tool(argv + names, cwd=work)
        c.eq(f"{case}: exit code", p.returncode, 0)
        return None
    if way in ("single", "alone"):
        err = ""
        for n in names:
            rc, out, e = run_korwipe([n], work)
            c.eq(f"{case} {n}: exit code and output", (rc, out), (0, "done.\n"))
            err += e
        return err
    if way == "pattern":
        rc, out, err = run_korwipe(["korres-pattern-*.dat"], work)
        c.eq(f"{case}: exit code and output", (rc, out), (0, "done.\n"))
        return err
    r, screen, _ = answer([testcfg, "-d", "tree"], work, native_env(), ["y"])
    c.eq(f"{case}: exit code and output", (r.rc, r.lines),
         (0, [PROMPT_ONE, "", "Erasing directory tree/", "Erasing directory tree/a/",
              "Erasing directory tree/a/b/", "done."]))
    return screen.decode("latin-1")


def measure(root, fs, mkfs, options, way, c, sizes=SIZES):
    """One image: make, fill, erase, unmount, search. Returns (markers left,
    names left) over the files."""
    image, mnt = os.path.join(root, "image"), os.path.join(root, "mnt")
    case = f"{fs}, {HEADINGS[way]}"
    try:
        with mounted(image, mkfs, options, mnt):
            work = os.path.join(mnt, "work")
            os.mkdir(work)
            files = make_files(work, way, sizes)
            err = erase(way, work, files, c, case)
            left = sorted(os.path.relpath(os.path.join(d, n), work) for d, ds, fs_ in os.walk(work) for n in ds + fs_)
            c.eq(f"{case}: nothing left in the folder", left, [])
        markers, names = scan(image, [MARKER, NAME])
    finally:
        if os.path.exists(image):
            os.remove(image)
    counted = [(rel, markers[m]) for rel, m, size in files if size >= 16]
    total = sum(n for _, n in counted)
    if err is not None:
        reason = REASONS[fs]
        found = WARNING.findall(err)
        warnings = sorted(found)
        c.eq(f"{case}: one warning per file where overwriting cannot reach everything, none elsewhere", warnings,
             sorted(f"warning: the old contents of {rel} may remain on the disk ({reason})"
                    for rel, _, _ in files) if reason else [])
        if way != "tree":
            c.eq(f"{case}: nothing else on standard error", without_device_warning(err),
                 "".join(w + "\n" for w in found))
        if not warnings or (fs in IN_PLACE and way != "alone"):
            c.eq(f"{case}: markers left per file", [x for x in counted if x[1]], [])
    elif way == "rm" and fs in IN_PLACE:
        c.true(f"{case}: the control leaves markers", total > 0, "rm left no marker: the search finds nothing")
    name_copies = sum(names[f"korres-{way}-{i}.dat".encode()] for i in range(len(sizes)))
    return total, name_copies


def reflinked_copy(root, c):
    """On xfs, a file whose blocks are shared with a reflinked copy is written
    elsewhere by the first pass: the warning says its blocks moved, and the
    copy keeps its contents (nothing was written through it)."""
    image, mnt = os.path.join(root, "image"), os.path.join(root, "mnt")
    try:
        with mounted(image, ["mkfs.xfs", "-q", "-f"], None, mnt):
            work = os.path.join(mnt, "work")
            os.mkdir(work)
            data = b"<KorResx0shared>" * 4096
            with open(os.path.join(work, "original.dat"), "wb") as f:
                f.write(data)
            p = tool(["cp", "--reflink=always", "original.dat", "copy.dat"], cwd=work)
            if p.returncode != 0:
                print("reflinked copy on xfs not measured:", p.stderr.decode(errors="replace").strip())
                return
            os.sync()
            rc, out, err = run_korwipe(["original.dat"], work)
            err = without_device_warning(err)
            c.eq("xfs reflinked copy: exit code, output, warning", (rc, out, err),
                 (0, "done.\n", f"warning: the old contents of original.dat may remain on the disk ({MOVED})\n"))
            with open(os.path.join(work, "copy.dat"), "rb") as f:
                c.true("xfs reflinked copy: the copy is intact", f.read() == data)
    except Unavailable as e:
        print("reflinked copy on xfs not measured:", e)
    finally:
        if os.path.exists(image):
            os.remove(image)


def btrfs_no_copy_on_write(root, c):
    """On btrfs, files made with the no-copy-on-write flag (chattr +C on
    their folder) are overwritten in place: no warning, and nothing left."""
    image, mnt = os.path.join(root, "image"), os.path.join(root, "mnt")
    files = []
    try:
        with mounted(image, ["mkfs.btrfs", "-q", "-f"], None, mnt):
            work = os.path.join(mnt, "work")
            os.mkdir(work)
            p = tool(["chattr", "+C", work])
            if p.returncode != 0:
                print("btrfs without copy-on-write not measured:", p.stderr.decode(errors="replace").strip())
                return
            files = make_files(work, "nocow", [3000, MIB])
            rc, out, err = run_korwipe(["korres-nocow-*.dat"], work)
            err = without_device_warning(err)
            c.eq("btrfs, chattr +C: exit code, output, standard error", (rc, out, err), (0, "done.\n", ""))
        markers = scan(image, [MARKER])[0]
        c.eq("btrfs, chattr +C: markers left per file", [(rel, markers[m]) for rel, m, _ in files if markers[m]], [])
    except Unavailable as e:
        print("btrfs without copy-on-write not measured:", e)
    finally:
        if os.path.exists(image):
            os.remove(image)


def table(rows, column):
    print()
    print("| file system | " + " | ".join(HEADINGS[w] for w in WAYS) + " |")
    print("|---" * (len(WAYS) + 1) + "|")
    for fs, cells in rows:
        print(f"| {fs} | " + " | ".join(f"{cells[w][column]:,}" if w in cells else "n/a" for w in WAYS) + " |")


def main():
    if os.geteuid() != 0:
        skip("needs root to make and mount file systems on loop devices")
    missing = [t for t in ("losetup", "mount", "umount") if not shutil.which(t)]
    if missing or not os.path.exists("/dev/loop-control"):
        skip("needs loop devices and " + ", ".join(missing or ["/dev/loop-control"]))
    c = Checks()
    rows = []
    root = tempfile.mkdtemp(prefix="korwipe-forensic-")
    try:
        for fs, mkfs, options in FILE_SYSTEMS:
            if not shutil.which(mkfs[0]):
                print(f"SKIP {fs}: {mkfs[0]} is not installed")
                continue
            ways = [w for w in WAYS if w != "shred" or shutil.which("shred")]
            try:
                cells = {w: measure(root, fs, mkfs, options, w, c) for w in ways}
                cells["alone"] = measure(root, fs, mkfs, options, "alone", c, [ALONE_SIZE])
            except Unavailable as e:
                print(f"SKIP {fs}: {e}")
                continue
            rows.append((fs, cells))
            print(f"{fs}: measured")
        if shutil.which("mkfs.xfs") and shutil.which("cp"):
            reflinked_copy(root, c)
        if shutil.which("mkfs.btrfs") and shutil.which("chattr"):
            btrfs_no_copy_on_write(root, c)
    finally:
        if os.path.ismount(os.path.join(root, "mnt")):
            print("still mounted, left in place:", os.path.join(root, "mnt"))
        else:
            shutil.rmtree(root, ignore_errors=True)
    if not rows:
        skip("no file system could be measured")
    print("\nMarkers (16 bytes each) left in the image after erasing the eight files:")
    table(rows, 0)
    print("\nCopies of the eight original file names left in the image (information: names are not contents):")
    table(rows, 1)
    print(f"\nOne file of {ALONE_SIZE} bytes ({ALONE_SIZE // 16} markers) erased alone by name, markers left:")
    print("; ".join(f"{fs} {cells['alone'][0]:,}" for fs, cells in rows))
    print()
    c.done()


main()

"""Korwipe over files of several segments, where the next segment is made
while the previous one is written: the file holds the stream, pass after
pass, at both ends and around every MiB (lane and segment boundaries).

usage: overlap_check.py posix KORWIPE_TESTCFG
       overlap_check.py wine KORWIPE_TESTCFG_EXE

posix also erases a sparse file (only its data is written, each byte with
its place in the stream; the holes stay holes) and makes a write fail part-way (a file size limit): the error names
the segment, and the next file continues the stream exactly where the
literal tool would have, as if the segment after the failed one had never
been made."""
import os
import resource
import shutil
import signal
import subprocess
import sys
import tempfile

import streamwindows as sw
from checks import Checks

MIB = 1 << 20
SEG = 16 * MIB
CLOCK = "2009-03-15 14:30:44"
SEED = sw.seed_from_time(2009, 3, 15, 14, 30, 44)

mode, program = sys.argv[1], sys.argv[2]
c = Checks()


def make(path, size):
    # Written, not a hole: only data is overwritten.
    with open(path, "wb") as f:
        for at in range(0, size, MIB):
            f.write(b"\x5a" * min(MIB, size - at))


def snapshots(folder):
    names = sorted((n for n in os.listdir(folder) if n.startswith("pass-")), key=lambda n: int(n[5:]))
    return [os.path.join(folder, n) for n in names]


def check_stretches(case, path, length, stream_offset, upto=None):
    """The file at path holds the stream from stream_offset, up to `upto`."""
    with open(path, "rb") as f:
        for start, n in sw.windows(length):
            if upto is not None and start + n > upto:
                continue
            f.seek(start)
            got = f.read(n)
            want = sw.take(SEED, stream_offset + start, n)
            if got != want:
                c.true(f"{case}: bytes {start}..{start + n}", False,
                      f"got {got[:8].hex()} want {want[:8].hex()}")
                return


def run(args, cwd, env, setting, limit=None):
    """Runs the test build with the setting byte; returns (exit code, output)."""
    if mode == "wine":
        # Under Windows the test build reads the machine's setting file, which
        # lives in the prefix; the folders are reached through drive Z:.
        from wine import WinePrefix  # the harness is on PYTHONPATH
        with WinePrefix("overlap") as wp:
            folder = os.path.join(wp.programdata, "Korvanel", "Ostrel")
            os.makedirs(folder, exist_ok=True)
            with open(os.path.join(folder, "config.cfg"), "wb") as f:
                f.write(bytes([setting]))
            wenv = {k: ("Z:" + v.replace("/", "\\") if k.endswith("SNAPSHOT") else v)
                    for k, v in env.items()}
            r = wp.run(program, args, cwd=cwd, env=wenv, timeout=600)
            return r.rc, r.out
    cfg = os.path.join(root, "config.cfg")
    with open(cfg, "wb") as f:
        f.write(bytes([setting]))
    env = dict(env, KORWIPE_TEST_CONFIG=cfg)

    def limits():
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a failed write, not a killed process
        if limit:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    e = {k: v for k, v in os.environ.items() if not k.startswith("KORWIPE_TEST")}
    e.update(env)
    p = subprocess.run([program] + list(args), cwd=cwd, env=e, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=600,
                       preexec_fn=limits, start_new_session=True)
    return p.returncode, p.stdout.decode("latin-1")


root = tempfile.mkdtemp(prefix="korwipe-overlap-", dir=os.environ.get("KOR_SCRATCH"))
try:
    work, snap = os.path.join(root, "work"), os.path.join(root, "snap")
    os.mkdir(work)
    os.mkdir(snap)
    env = {"KORWIPE_TEST_CLOCK": CLOCK, "KORWIPE_TEST_SNAPSHOT": snap}

    # Two whole segments and a partial one, two passes.
    length = 2 * SEG + 12345
    make(os.path.join(work, "big.bin"), length)
    rc, out = run(["big.bin"], work, env, 2)
    c.true("two passes: exit code", rc == 0, f"rc {rc} output {out!r}")
    c.true("two passes: file erased", os.listdir(work) == [], f"{os.listdir(work)}")
    snaps = snapshots(snap)
    c.true("two passes: one copy per pass", len(snaps) == 2, f"{len(snaps)}")
    for i, p in enumerate(snaps):
        c.true(f"pass {i + 1}: length kept", os.path.getsize(p) == length, f"{os.path.getsize(p)}")
        check_stretches(f"pass {i + 1}", p, length, i * length)
        os.remove(p)

    if mode == "posix":
        # A sparse file: only its runs of data are written, each byte with
        # its place in the stream as if the holes had been written too, and
        # the holes stay holes (they read as zeros in every pass's copy).
        # The runs straddle a segment boundary, lie inside a segment and at
        # the very end; the first segment is a hole from start to end.
        length = 3 * SEG + 777
        runs = [(SEG - 100 * 1024, 200 * 1024), (2 * SEG + 5 * MIB, 64 * 1024), (3 * SEG, 777)]
        holes = [(0, MIB), (SEG + 100 * 1024, MIB), (2 * SEG + 5 * MIB + 64 * 1024, MIB)]
        with open(os.path.join(work, "sparse.bin"), "wb") as f:
            f.truncate(length)
            for at, n in runs:
                f.seek(at)
                f.write(b"\x5a" * n)
        rc, out = run(["sparse.bin"], work, env, 2)
        c.true("sparse: exit code and output", (rc, out) == (0, "done.\n"), f"rc {rc} output {out!r}")
        snaps = snapshots(snap)
        c.true("sparse: one copy per pass", len(snaps) == 2, f"{len(snaps)}")
        for i, p in enumerate(snaps):
            with open(p, "rb") as f:
                for at, n in runs:
                    f.seek(at)
                    got = f.read(n)
                    c.true(f"sparse pass {i + 1}: run at {at} holds the stream at its place",
                          got == sw.take(SEED, i * length + at, n), f"got {got[:8].hex()}")
                for at, n in holes:
                    f.seek(at)
                    c.true(f"sparse pass {i + 1}: hole at {at} left a hole", f.read(n) == bytes(n))
            os.remove(p)

        # Writes stop at 20 MiB: segment 0 is written, segment 1 fails after
        # 4 MiB. Setting 1. The small file erased after it continues the
        # stream at 32 MiB, the end of the failed segment; readdir decides
        # the order, so names are tried until the big file comes first.
        seen_big_first = False
        for attempt in range(12):
            big, small = f"a{attempt}.bin", f"b{attempt}.bin"
            make(os.path.join(work, big), 2 * SEG + 5 * MIB)
            with open(os.path.join(work, small), "wb") as f:
                f.write(b"\0" * 1000)
            rc, out = run(["*.bin"], work, env, 1, limit=20 * MIB)
            c.true(f"limit {attempt}: error names segment 1", "error writing file (segment 1l)" in out, out)
            c.true(f"limit {attempt}: small file erased, big one left", os.listdir(work) == [big],
                  f"{os.listdir(work)}")
            snaps = snapshots(snap)
            c.true(f"limit {attempt}: one copy (the small file)", len(snaps) == 1, f"{len(snaps)}")
            if len(snaps) == 1:
                with open(snaps[0], "rb") as f:
                    got = f.read()
                if got == sw.take(SEED, 0, 1000):
                    pass  # the small file came first; nothing to learn here
                else:
                    seen_big_first = True
                    c.true(f"limit {attempt}: next file continues after the failed segment",
                          got == sw.take(SEED, 2 * SEG, 1000), f"got {got[:8].hex()}")
                    check_stretches(f"limit {attempt}: failed file", os.path.join(work, big),
                                    2 * SEG + 5 * MIB, 0, upto=20 * MIB)
            for n in os.listdir(work):
                os.remove(os.path.join(work, n))
            for p in snapshots(snap):
                os.remove(p)
            if seen_big_first or c.failed:
                break
        c.true("limit: some order put the big file first", seen_big_first)
finally:
    shutil.rmtree(root, ignore_errors=True)

c.done()

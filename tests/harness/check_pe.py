"""Checks that a Windows program is a 32-bit Intel 386 PE image of the right kind.

usage: check_pe.py EXE console|windows [--resources]
"""
import struct
import sys

from checks import Checks

SUBSYSTEMS = {"windows": 2, "console": 3}


def check(path, kind, need_resources):
    data = open(path, "rb").read()
    if data[:2] != b"MZ":
        return "no MZ header"
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        return "no PE signature"
    machine, sections, _, _, _, opt_size, _ = struct.unpack_from("<HHIIIHH", data, pe + 4)
    if machine != 0x14C:
        return f"machine 0x{machine:x}, not Intel 386 (0x14c)"
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    if magic != 0x10B:
        return f"optional header magic 0x{magic:x}, not PE32 (0x10b)"
    subsystem = struct.unpack_from("<H", data, opt + 68)[0]
    if subsystem != SUBSYSTEMS[kind]:
        return f"subsystem {subsystem}, expected {SUBSYSTEMS[kind]} ({kind})"
    # Data directory 2 is the resource table.
    rva, size = struct.unpack_from("<II", data, opt + 96 + 2 * 8)
    if need_resources and (rva == 0 or size == 0):
        return "no resources"
    return None


if __name__ == "__main__":
    path, kind = sys.argv[1], sys.argv[2]
    c = Checks()
    problem = check(path, kind, "--resources" in sys.argv[3:])
    c.true(f"{path}: PE32 Intel 386, {kind} subsystem" + (", resources" if "--resources" in sys.argv[3:] else ""),
           problem is None, problem)
    c.done()

"""Reads the resources of a Windows program (PE32 or PE32+), for the tests."""
import struct


def read_resources(data):
    """Returns {(type, id): bytes} of a PE file; types and ids are ints or
    strings, the first language of each is taken; and the optional header's
    magic (0x10B for PE32, 0x20B for PE32+)."""
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        raise ValueError("not a PE file")
    sections, opt_size = struct.unpack_from("<H12xH", data, pe + 6)
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    dirs = opt + (96 if magic == 0x10B else 112)
    res_rva, res_size = struct.unpack_from("<II", data, dirs + 2 * 8)
    if res_rva == 0 or res_size == 0:
        return {}, magic
    table = []
    for i in range(sections):
        s = opt + opt_size + 40 * i
        vsize, va, rawsize, rawptr = struct.unpack_from("<IIII", data, s + 8)
        table.append((va, max(vsize, rawsize), rawptr))

    def offset(rva):
        for va, size, raw in table:
            if va <= rva < va + size:
                return rva - va + raw
        raise ValueError(f"RVA 0x{rva:x} in no section")

    base = offset(res_rva)

    def entries(at):
        named, numbered = struct.unpack_from("<HH", data, at + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", data, at + 16 + 8 * i)
            if name & 0x80000000:
                p = base + (name & 0x7FFFFFFF)
                n = struct.unpack_from("<H", data, p)[0]
                name = data[p + 2:p + 2 + 2 * n].decode("utf-16-le")
            yield name, target

    found = {}
    for rtype, t in entries(base):
        for rid, i in entries(base + (t & 0x7FFFFFFF)):
            lang_dir = base + (i & 0x7FFFFFFF)
            _, leaf = next(entries(lang_dir))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            at = offset(rva)
            found[(rtype, rid)] = data[at:at + size]
    return found, magic

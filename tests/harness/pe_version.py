"""Reads the version resource of a Windows program (PE32 or PE32+).

As a library: `read_version(data)` returns the fixed file and product
versions and the string table. As a command it checks a built program:

usage: pe_version.py EXE VERSION
       (VERSION is the project's, e.g. 1.0.0; exits 1 naming every mismatch)
"""
import os
import struct
import sys

from checks import Checks
from pe_resources import read_resources

RT_VERSION = 16
FIXED_SIGNATURE = 0xFEEF04BD
PRODUCT = "Korvanel Ostrel"
COMPANY = "Korvanel"


def read_resource(data, rtype, rid):
    """The bytes of resource (rtype, rid), first language; None when absent."""
    return read_resources(data)[0].get((rtype, rid))


def _align4(n):
    return (n + 3) & ~3


def _block(data, at):
    """One node of the version tree: (key, value bytes, is_text, children)."""
    length, value_length, is_text = struct.unpack_from("<HHH", data, at)
    end = at + length
    key_start = at + 6
    key_end = key_start
    while data[key_end:key_end + 2] != b"\0\0":
        key_end += 2
    key = data[key_start:key_end].decode("utf-16-le")
    value_start = _align4(key_end + 2)
    value_size = value_length * 2 if is_text else value_length
    value = data[value_start:value_start + value_size]
    children = []
    child = _align4(value_start + value_size)
    while child + 6 <= end:
        node = _block(data, child)
        children.append(node)
        child = _align4(child + struct.unpack_from("<H", data, child)[0])
    return key, value, is_text, children, length


def read_version(data):
    """Returns a dict: "file" and "product" as (a, b, c, d) from the fixed
    part, "strings" {language block: {name: text}}, "translations" as
    ["040904b0", ...]; None when the program has no version resource."""
    res = read_resource(data, RT_VERSION, 1)
    if res is None:
        return None
    key, fixed, _, children, _ = _block(res, 0)
    if key != "VS_VERSION_INFO" or len(fixed) < 52:
        raise ValueError(f"version resource starts with {key!r}")
    signature, _, file_ms, file_ls, prod_ms, prod_ls = struct.unpack_from("<6I", fixed)
    if signature != FIXED_SIGNATURE:
        raise ValueError(f"fixed version signature 0x{signature:x}")
    quad = lambda ms, ls: (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
    info = {"file": quad(file_ms, file_ls), "product": quad(prod_ms, prod_ls),
            "strings": {}, "translations": []}
    for ckey, _, _, tables, _ in children:
        if ckey == "StringFileInfo":
            for lang, _, _, strings, _ in tables:
                info["strings"][lang] = {
                    name: value.decode("utf-16-le").rstrip("\0") for name, value, _, _, _ in strings}
        elif ckey == "VarFileInfo":
            for _, value, _, _, _ in tables:
                for i in range(0, len(value) - 3, 4):
                    language, codepage = struct.unpack_from("<HH", value, i)
                    info["translations"].append(f"{language:04x}{codepage:04x}")
    return info


def problems(path, version):
    """Every way in which the program's version resource falls short."""
    info = read_version(open(path, "rb").read())
    if info is None:
        return ["no version resource"]
    found = []
    numbers = tuple(int(n) for n in version.split(".")) + (0,)
    for part in ("file", "product"):
        if info[part] != numbers[:4]:
            found.append(f"fixed {part} version {info[part]}, expected {numbers[:4]}")
    if len(info["strings"]) != 1:
        return found + [f"string tables {sorted(info['strings'])}, expected one"]
    lang, strings = next(iter(info["strings"].items()))
    # Explorer shows the strings of the table that the translation names.
    if info["translations"] != [lang.lower()]:
        found.append(f"translation {info['translations']} does not name the table {lang}")
    program = os.path.basename(path)
    expected = {"ProductName": PRODUCT, "CompanyName": COMPANY, "FileVersion": version,
                "ProductVersion": version, "OriginalFilename": program,
                "InternalName": os.path.splitext(program)[0]}
    for name, want in expected.items():
        if strings.get(name) != want:
            found.append(f"{name} is {strings.get(name)!r}, expected {want!r}")
    description = strings.get("FileDescription", "")
    if not description.startswith(PRODUCT + " "):
        found.append(f"FileDescription {description!r} does not describe the program")
    if COMPANY not in strings.get("LegalCopyright", ""):
        found.append(f"LegalCopyright {strings.get('LegalCopyright')!r} does not name {COMPANY}")
    return found


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    exe, version = sys.argv[1], sys.argv[2]
    c = Checks()
    c.eq(f"{exe}: what falls short of version {version}, {PRODUCT}, {COMPANY}", problems(exe, version), [])
    c.done()

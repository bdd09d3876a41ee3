"""Says where two builds of one release file differ: for a program, which
header field or section; for an archive, which member, and then where inside
it. explain(name, a, b) returns one line per difference found, [] for equal
bytes.

    python3 release_diff.py FILE OTHER   # prints the differences, exit 1 if any
"""
import gzip
import io
import lzma
import os
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile

import pe_layout


def explain(name, a, b):
    if a == b:
        return []
    kind_a, kind_b = kind(a), kind(b)
    if kind_a != kind_b:
        return [f"{name}: a {kind_a} in one build, a {kind_b} in the other"]
    try:
        found = EXPLAINERS.get(kind_a, lambda *_: [])(name, a, b)
    except (ValueError, EOFError, OSError, IndexError, KeyError, struct.error, lzma.LZMAError,
            zipfile.BadZipFile, tarfile.TarError) as error:
        # A file one build broke is named as such rather than ending the comparison.
        found = [f"{name}: not readable as a {kind_a} ({error})"]
    # Whatever a format's reader cannot place is still a difference.
    return found or [first_difference(name, a, b)]


def kind(data):
    if data[:2] == b"MZ":
        return "PE program"
    if data[:4] == b"\x7fELF":
        return "ELF program"
    if data[:4] == b"PK\x03\x04":
        return "zip"
    if data[:8] == b"!<arch>\n":
        return "ar archive"
    if data[:6] == b"\xfd7zXZ\x00":
        return "xz stream"
    if data[:2] == b"\x1f\x8b":
        return "gzip stream"
    if len(data) >= 512 and data[257:262] == b"ustar":
        return "tar archive"
    return "file"


def first_difference(name, a, b):
    """Where two byte strings part: the first differing line of a text, the
    first differing offset of anything else."""
    try:
        lines = a.decode("utf-8").splitlines(), b.decode("utf-8").splitlines()
    except UnicodeDecodeError:
        lines = None
    if lines and lines[0] != lines[1]:
        at = next((i for i, (x, y) in enumerate(zip(*lines)) if x != y), min(map(len, lines)))
        line_a, line_b = (x[at] if at < len(x) else "(none)" for x in lines)
        return f"{name}: line {at + 1}: {line_a!r} != {line_b!r}"
    at = next((i for i, (x, y) in enumerate(zip(a, b)) if x != y), min(len(a), len(b)))
    return f"{name}: bytes differ from offset {at} ({len(a)} and {len(b)} bytes)"


def compare_fields(name, fields_a, fields_b):
    """Two dicts of named values: one line per value that differs, in name order."""
    out = []
    for field in sorted(fields_a.keys() | fields_b.keys()):
        x, y = fields_a.get(field), fields_b.get(field)
        if x == y:
            continue
        if isinstance(x, bytes) and isinstance(y, bytes) and max(len(x), len(y)) > 32:
            out.append(first_difference(f"{name}: {field}", x, y))
        else:
            out.append(f"{name}: {field} {x!r} != {y!r}")
    return out


def compare_members(name, members_a, members_b, content):
    """Archives as ordered lists of (member name, header fields, contents):
    which members only one holds, a changed order, changed header fields,
    and then each member's contents, explained in turn."""
    names_a = [m[0] for m in members_a]
    names_b = [m[0] for m in members_b]
    out = [f"{name}: member {m} only in the {which} build"
           for which, mine, theirs in (("first", names_a, names_b), ("second", names_b, names_a))
           for m in mine if m not in theirs]
    if not out and names_a != names_b:
        out.append(f"{name}: members in another order: {names_a} / {names_b}")
    others = {m[0]: m for m in members_b}
    for member, fields, data in members_a:
        if member in others:
            _, fields_b, data_b = others[member]
            out += compare_fields(f"{name}: {member}", fields, fields_b)
            out += content(f"{name}: {member}", data, data_b)
    return out


# ---- programs ---------------------------------------------------------------

def explain_pe(name, a, b):
    pa, pb = pe_layout.parse(a), pe_layout.parse(b)
    if pa is None or pb is None:
        return []
    out = compare_fields(f"{name}: PE header", pa["fields"], pb["fields"])
    for section in sorted(pa["sections"].keys() | pb["sections"].keys()):
        sa, sb = pa["sections"].get(section), pb["sections"].get(section)
        if sa is None or sb is None:
            out.append(f"{name}: section {section} only in one build")
        elif a[sa[0]:sa[1]] != b[sb[0]:sb[1]]:
            out.append(first_difference(f"{name}: section {section}", a[sa[0]:sa[1]], b[sb[0]:sb[1]]))
    overlay_a, overlay_b = a[pa["end"]:], b[pb["end"]:]
    if overlay_a != overlay_b:
        out.append(f"{name}: the data after the last section differs ({len(overlay_a)} and {len(overlay_b)} bytes)")
        out += explain_7z_members(name, a, b)
    return out


def explain_7z_members(name, a, b):
    """An installer keeps its files after the program's sections: 7z reads
    them, with the file times NSIS stored."""
    with tempfile.TemporaryDirectory(prefix="kor-release-diff-") as scratch:
        members = []
        for which, data in (("a", a), ("b", b)):
            path = os.path.join(scratch, which + ".exe")
            with open(path, "wb") as f:
                f.write(data)
            try:
                listing = subprocess.run(["7z", "l", "-slt", path], capture_output=True, text=True).stdout
                subprocess.run(["7z", "x", "-y", "-o" + os.path.join(scratch, which), path],
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            except OSError:
                return [f"{name}: no 7z here to look inside"]
            members.append(read_7z(listing, os.path.join(scratch, which), path))
        return compare_members(name, members[0], members[1], explain)


def read_7z(listing, folder, archive):
    entries = []
    for block in listing.split("\n\n"):
        fields = dict(line.split(" = ", 1) for line in block.splitlines() if " = " in line)
        # The first block describes the archive itself.
        if "Path" not in fields or fields["Path"] == archive or "Type" in fields:
            continue
        path = os.path.join(folder, fields["Path"])
        data = open(path, "rb").read() if os.path.isfile(path) else b""
        entries.append((fields["Path"], {"modified": fields.get("Modified", "")}, data))
    return entries


def explain_elf(name, a, b):
    out = []
    sections = [elf_sections(a), elf_sections(b)]
    if None in sections:
        return []
    sa, sb = sections
    for section in sorted(sa.keys() | sb.keys()):
        if section not in sa or section not in sb:
            out.append(f"{name}: section {section} only in one build")
        elif a[slice(*sa[section])] != b[slice(*sb[section])]:
            out.append(first_difference(f"{name}: section {section}", a[slice(*sa[section])], b[slice(*sb[section])]))
    return out


def elf_sections(data):
    """Section name -> (start, end) in the file; None when the headers do not fit."""
    wide, little = data[4] == 2, data[5] == 1
    end = "<" if little else ">"
    try:
        if wide:
            shoff, = struct.unpack_from(end + "Q", data, 0x28)
            entsize, count, names = struct.unpack_from(end + "HHH", data, 0x3A)
            entry = end + "IIQQQQIIQQ"
        else:
            shoff, = struct.unpack_from(end + "I", data, 0x20)
            entsize, count, names = struct.unpack_from(end + "HHH", data, 0x2E)
            entry = end + "IIIIIIIIII"
        headers = [struct.unpack_from(entry, data, shoff + i * entsize) for i in range(count)]
        table = headers[names]
    except (struct.error, IndexError):
        return None
    result = {}
    for h in headers:
        name_at, kind_, offset, size = h[0], h[1], h[4], h[5]
        label = data[table[4] + name_at:data.index(b"\0", table[4] + name_at)].decode("latin-1")
        result[label or "(unnamed)"] = (offset, offset + (0 if kind_ == 8 else size))  # 8: no bits in the file
    return result


# ---- archives and streams ------------------------------------------------------

def explain_zip(name, a, b):
    def members(data):
        with zipfile.ZipFile(io.BytesIO(data)) as z:
            return [(i.filename, {"time": i.date_time, "mode bits": oct(i.external_attr >> 16),
                                  "made on system": i.create_system, "extra fields": i.extra,
                                  "method": i.compress_type, "flags": i.flag_bits, "comment": i.comment},
                     z.read(i)) for i in z.infolist()]
    return compare_members(name, members(a), members(b), explain)


def explain_ar(name, a, b):
    def members(data):
        out, at = [], 8
        while at + 60 <= len(data):
            header = data[at:at + 60]
            size = int(header[48:58])
            text = header.decode("latin-1")
            fields = {"time": text[16:28].strip(), "owner": text[28:34].strip(),
                      "group": text[34:40].strip(), "mode": text[40:48].strip()}
            out.append((text[:16].strip(), fields, data[at + 60:at + 60 + size]))
            at += 60 + size + (size & 1)
        return out
    return compare_members(name, members(a), members(b), explain)


def explain_tar(name, a, b):
    def members(data):
        with tarfile.open(fileobj=io.BytesIO(data)) as t:
            return [(m.name, {"mode": oct(m.mode), "owner": (m.uid, m.uname), "group": (m.gid, m.gname),
                              "time": m.mtime, "type": m.type, "link": m.linkname, "pax": m.pax_headers},
                     t.extractfile(m).read() if m.isfile() else b"") for m in t.getmembers()]
    return compare_members(name, members(a), members(b), explain)


def explain_xz(name, a, b):
    return explain_stream(name, lzma.decompress(a), lzma.decompress(b), "xz")


def explain_gzip(name, a, b):
    header = {"time": struct.unpack_from("<I", a, 4)[0], "flags": a[3], "system": a[9]}
    other = {"time": struct.unpack_from("<I", b, 4)[0], "flags": b[3], "system": b[9]}
    out = compare_fields(f"{name}: gzip header", header, other)
    return out + explain_stream(name, gzip.decompress(a), gzip.decompress(b), "gzip")


def explain_stream(name, plain_a, plain_b, method):
    if plain_a == plain_b:
        return [f"{name}: the same contents, compressed differently by {method}"]
    return explain(f"{name} (unpacked)", plain_a, plain_b)


EXPLAINERS = {"PE program": explain_pe, "ELF program": explain_elf, "zip": explain_zip,
              "ar archive": explain_ar, "tar archive": explain_tar, "xz stream": explain_xz,
              "gzip stream": explain_gzip}


def main(argv):
    if len(argv) != 3:
        raise SystemExit(f"usage: {argv[0]} FILE OTHER")
    lines = explain(os.path.basename(argv[1]), open(argv[1], "rb").read(), open(argv[2], "rb").read())
    for line in lines:
        print(line)
    return 1 if lines else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

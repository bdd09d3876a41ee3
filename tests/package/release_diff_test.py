"""The comparison the reproducibility test reports with (release_diff) names
what differs: one table of pairs of files that differ in one known place
(header fields and sections of a real program of this build and of a real
ELF program, members of real NSIS and zip archives, members, owners and
times of a Debian package's archives), each with the words its explanation
must hold. Equal bytes must give no explanation at all.

usage: release_diff_test.py SHIPPED_EXE"""
import gzip
import io
import lzma
import os
import stat
import struct
import subprocess
import sys
import tarfile
import tempfile
import zipfile

import artefact
import release_diff
from checks import Checks


def patched(data, offset, value):
    return data[:offset] + value + data[offset + len(value):]


def pe_offset(data):
    return struct.unpack_from("<I", data, 0x3C)[0]


def file_offset(tool, path, section):
    """Where a section lies in the file, as binutils reports it."""
    for line in subprocess.run([tool, "-h", "-w", path], capture_output=True, text=True, check=True).stdout.splitlines():
        words = line.split()
        if len(words) > 5 and words[1] == section:
            return int(words[5], 16)
    raise SystemExit(f"{tool} finds no {section} in {path}")


def rezip(data, change=lambda info, content: (info, content), order=lambda infos: infos):
    """The zip again, each entry through change, the entries in order()."""
    out = io.BytesIO()
    with zipfile.ZipFile(io.BytesIO(data)) as z, zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as w:
        for info in order(z.infolist()):
            copy = zipfile.ZipInfo(info.filename, info.date_time)
            copy.external_attr, copy.compress_type = info.external_attr, info.compress_type
            copy, content = change(copy, z.read(info))
            w.writestr(copy, content)
    return out.getvalue()


def on_member(suffix, change):
    return lambda info, content: change(info, content) if info.filename.endswith(suffix) else (info, content)


def tar_xz(entries, preset=6):
    """entries: (name, contents, owner id, time)."""
    out = io.BytesIO()
    with tarfile.open(fileobj=out, mode="w", format=tarfile.GNU_FORMAT) as t:
        for name, contents, uid, mtime in entries:
            info = tarfile.TarInfo(name)
            info.size, info.uid, info.mtime, info.mode = len(contents), uid, mtime, 0o644
            info.uname = "root" if uid == 0 else "builder"
            t.addfile(info, io.BytesIO(contents))
    return lzma.compress(out.getvalue(), preset=preset)


def ar(members):
    """members: (name, contents, time), as dpkg-deb writes them."""
    out = b"!<arch>\n"
    for name, contents, mtime in members:
        out += f"{name:<16}{mtime:<12}{0:<6}{0:<6}{'100644':<8}{len(contents):<10}`\n".encode()
        out += contents + (b"\n" if len(contents) % 2 else b"")
    return out


def deb(owner=0, data_time=1000, page_time=0, drop=None, preset=6):
    page = gzip.compress(b".TH KORWIPE 1\n", mtime=page_time)
    files = [(n, c, owner, data_time) for n, c in (("./usr/bin/Korwipe", b"\x7fELF program"),
                                                    ("./usr/share/man/man1/Korwipe.1.gz", page))
             if n != drop]
    control = tar_xz([("./control", b"Package: korvanel-ostrel\n", 0, 1000)])
    return ar([("debian-binary", b"2.0\n", 1000), ("control.tar.xz", control, 1000),
               ("data.tar.xz", tar_xz(files, preset), data_time)])


def nsis(folder, name, contents, mtime):
    """A real NSIS installer packing one file, which NSIS stores with its time."""
    source = os.path.join(folder, "a.txt")
    with open(source, "wb") as f:
        f.write(contents)
    os.utime(source, (mtime, mtime))
    script = os.path.join(folder, name + ".nsi")
    with open(script, "w") as f:
        f.write(f'Unicode true\nOutFile "{folder}/{name}.exe"\nRequestExecutionLevel user\n'
                f'Section\n  SetOutPath $TEMP\n  File "{source}"\nSectionEnd\n')
    subprocess.run(["makensis", "-V1", script], check=True, stdout=subprocess.DEVNULL)
    return open(os.path.join(folder, name + ".exe"), "rb").read()


def cases(exe_path, scratch):
    exe = open(exe_path, "rb").read()
    pe = pe_offset(exe)
    text_at = file_offset("i686-w64-mingw32-objdump", exe_path, ".text")
    elf_path = os.path.realpath(sys.executable)
    elf = open(elf_path, "rb").read()
    build_id_at = file_offset("objdump", elf_path, ".note.gnu.build-id")
    release_zip = open(artefact.make("zip", scratch), "rb").read()
    plain = stat.S_IFREG | 0o644
    return [
        ("program link time", exe, patched(exe, pe + 8, b"\x01\x02\x03\x04"), "PE header: COFF.TimeDateStamp 0 != 67305985"),
        ("program checksum", exe, patched(exe, pe + 24 + 64, b"\xff\xff"), "PE header: Optional.CheckSum"),
        ("program code", exe, patched(exe, text_at + 16, bytes([exe[text_at + 16] ^ 1])), "section .text: bytes differ from offset 16"),
        ("program resource text", exe, exe.replace("Korvanel".encode("utf-16-le"), "Korvanex".encode("utf-16-le"), 1),
         "section .rsrc"),
        ("program with data appended", exe, exe + b"appended", "data after the last section differs (0 and 8 bytes)"),
        ("ELF build id", elf, patched(elf, build_id_at + 16, bytes([elf[build_id_at + 16] ^ 1])),
         "section .note.gnu.build-id: bytes differ from offset 16"),
        ("installer file time", nsis(scratch, "t1", b"one\n", 1000000000), nsis(scratch, "t2", b"one\n", 1100000000),
         "a.txt: modified"),
        ("installer file contents", nsis(scratch, "c1", b"one\ntwo\n", 1000000000), nsis(scratch, "c2", b"one\nthree\n", 1000000000),
         "a.txt: line 2: 'two' != 'three'"),
        ("zip entry time", release_zip, rezip(release_zip, on_member("Korwipe.exe", lambda i, c: (
            setattr(i, "date_time", (2001, 2, 3, 4, 5, 6)) or i, c))), "Korwipe.exe: time"),
        ("zip entry without its file type", release_zip, rezip(release_zip, on_member(".ini", lambda i, c: (
            setattr(i, "external_attr", 0o644 << 16) or i, c))), f"Tavisk Sleeper.ini: mode bits '{oct(plain)}' != '0o644'"),
        ("zip entry with a time field", release_zip, rezip(release_zip, on_member("cfgsetup.exe", lambda i, c: (
            setattr(i, "extra", b"UT\x05\x00\x01\x00\x00\x00\x00") or i, c))), "cfgsetup.exe: extra fields"),
        ("zip entries in another order", release_zip, rezip(release_zip, order=lambda infos: infos[::-1]),
         "members in another order"),
        ("zip member's program", release_zip, rezip(release_zip, on_member("Korwipe.exe", lambda i, c: (
            i, patched(c, pe_offset(c) + 8, b"\x07\x00\x00\x00")))), "Korwipe.exe: PE header: COFF.TimeDateStamp 0 != 7"),
        ("zip cut short", release_zip, release_zip[:len(release_zip) // 2], "file: not readable as a zip"),
        ("package file owner", deb(), deb(owner=1000), "data.tar.xz (unpacked): ./usr/bin/Korwipe: owner (0, 'root') != (1000, 'builder')"),
        ("package archive time", deb(), deb(data_time=2000), "data.tar.xz: time '1000' != '2000'"),
        ("package man page gzip time", deb(), deb(page_time=5), "Korwipe.1.gz: gzip header: time 0 != 5"),
        ("package file missing", deb(), deb(drop="./usr/bin/Korwipe"), "member ./usr/bin/Korwipe only in the first build"),
        ("package compressed otherwise", deb(), deb(preset=0), "data.tar.xz: the same contents, compressed differently by xz"),
        ("text", b"a\nb\nc\n", b"a\nb\nC\n", "file: line 3: 'c' != 'C'"),
    ]


def main():
    c = Checks()
    with tempfile.TemporaryDirectory(prefix="kor-release-diff-") as scratch:
        for name, a, b, wanted in cases(sys.argv[1], scratch):
            if not c.true(f"{name}: the case makes a difference to look for", a != b):
                continue
            for same in (a, b):
                c.eq(f"{name}: equal bytes explained", release_diff.explain("file", same, same), [])
            lines = release_diff.explain("file", a, b)
            found = [line for line in lines if wanted in line]
            if c.true(f"{name}: explained", found, f"expected {wanted!r} in {lines}"):
                print(f"ok: {name}: {found[0]}")
    c.done()


if __name__ == "__main__":
    main()

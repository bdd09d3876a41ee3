"""Checks that a built presentation.exe carries every resource of
presentation/res, with the types and ids the player looks up, and that each
file-backed resource holds exactly the committed bytes.

usage: check_exe_resources.py PRESENTATION_EXE"""
import os
import struct
import sys

from checks import Checks
from pe_resources import read_resources

RES = os.path.join(os.environ["KOR_SOURCE_DIR"], "presentation", "res")
RT_CURSOR, RT_ICON, RT_MENU, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_MANIFEST = 1, 3, 4, 12, 14, 24


def main():
    exe = sys.argv[1]
    found, magic = read_resources(open(exe, "rb").read())
    manifest = "presentation.manifest" if magic == 0x10B else "presentation64.manifest"
    files = {("MBM", 112): "scene-base.mbm", ("MBM", 119): "pointer.mbm", ("MBM", 120): "spinner.mbm",
             ("MBM", 121): "background.mbm",
             ("WAVE", 114): "select.wav", ("WAVE", 115): "prompt.wav", ("WAVE", 116): "busy.wav",
             ("WAVE", 117): "close.wav", ("WAVE", 118): "show.wav",
             (RT_CURSOR, 1): "cursor-1.bin", (RT_GROUP_CURSOR, 111): "cursor-group-111.bin",
             (RT_ICON, 2): "icon-2.bin", (RT_GROUP_ICON, 113): "icon-group-113.bin",
             (RT_MANIFEST, 1): manifest}
    files.update({("MBM", n): f"layer-{n}.mbm" for n in range(102, 111)})
    c = Checks()
    for key, name in sorted(files.items(), key=str):
        want = open(os.path.join(RES, name), "rb").read()
        if c.true(f"type {key[0]} id {key[1]} present", key in found):
            c.true(f"type {key[0]} id {key[1]} equal to {name}", found[key] == want, f"{len(found[key])} bytes differ")
    menu = found.get((RT_MENU, 101))
    if c.true("menu 101 present", menu is not None):
        # MENUHEADER (4 bytes), then items: flags, [id,] UTF-16 text.
        text = menu[4:].decode("utf-16-le", "replace")
        for item in ("&Restart", "E&xit"):
            c.true(f"menu 101 holds {item}", item in text)
        c.true("menu 101 holds commands 40001 and 40002",
               struct.pack("<H", 40001) in menu and struct.pack("<H", 40002) in menu)
    extra = [k for k in found if k not in files and k != (RT_MENU, 101) and k[0] != 16]  # 16: version
    c.eq("unexpected resources", extra, [])
    print(f"{exe}: {len(found)} resources")
    c.done()


main()

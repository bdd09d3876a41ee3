"""Checks that a built presentation.exe carries every resource of
presentation/res, with the types and ids the player looks up, and that each
file-backed resource holds exactly the committed bytes.

usage: check_exe_resources.py PRESENTATION_EXE"""
import os
import struct
import sys

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
    failures = []
    for key, name in sorted(files.items(), key=str):
        want = open(os.path.join(RES, name), "rb").read()
        if key not in found:
            failures.append(f"type {key[0]} id {key[1]} missing")
        elif found[key] != want:
            failures.append(f"type {key[0]} id {key[1]}: {len(found[key])} bytes differ from {name}")
    menu = found.get((RT_MENU, 101))
    if menu is None:
        failures.append("menu 101 missing")
    else:
        # MENUHEADER (4 bytes), then items: flags, [id,] UTF-16 text.
        text = menu[4:].decode("utf-16-le", "replace")
        for item in ("&Restart", "E&xit"):
            if item not in text:
                failures.append(f"menu 101 lacks {item}")
        if struct.pack("<H", 40001) not in menu or struct.pack("<H", 40002) not in menu:
            failures.append("menu 101 lacks command 40001 or 40002")
    extra = [k for k in found if k not in files and k != (RT_MENU, 101) and k[0] != 16]  # 16: version
    if extra:
        failures.append(f"unexpected resources {extra}")
    for f in failures:
        print("FAIL:", f)
    print(f"{exe}: {len(found)} resources" + ("" if failures else ", all present and equal to presentation/res"))
    return 1 if failures else 0


sys.exit(main())

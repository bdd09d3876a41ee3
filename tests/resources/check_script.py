"""Checks the hand-written resource files of the presentation: the manifests'
exact attributes, the menu, and that the resource script declares every id
of resource_ids.h with the right type and an existing file."""
import os
import re
import xml.etree.ElementTree as ET

from checks import Checks

RES = os.path.join(os.environ["KOR_SOURCE_DIR"], "presentation", "res")
NS = "{urn:schemas-microsoft-com:asm.v1}"
c = Checks()


def check_manifest(name, arch):
    root = ET.parse(os.path.join(RES, name)).getroot()
    c.eq(f"{name}: root", root.tag, NS + "assembly")
    c.eq(f"{name}: manifestVersion", root.get("manifestVersion"), "1.0")
    ident = root.find(NS + "assemblyIdentity")
    expected = {"name": "Korvanel Ostrel Presentation", "version": "1.0.0.0",
                "processorArchitecture": arch, "type": "win32"}
    c.eq(f"{name}: assembly identity", ident.attrib if ident is not None else None, expected)
    desc = root.find(NS + "description")
    c.eq(f"{name}: description", desc.text if desc is not None else None, "Korvanel Ostrel Presentation")
    deps = root.findall(f"{NS}dependency/{NS}dependentAssembly/{NS}assemblyIdentity")
    expected = {"type": "win32", "name": "Microsoft.Windows.Common-Controls", "version": "6.0.0.0",
                "processorArchitecture": arch, "publicKeyToken": "6595b64144ccf1df", "language": "*"}
    c.eq(f"{name}: dependencies", [d.attrib for d in deps], [expected])


check_manifest("presentation.manifest", "X86")
check_manifest("presentation64.manifest", "amd64")

ids = {}
for line in open(os.path.join(RES, "resource_ids.h")):
    m = re.match(r"#define (RES_\w+) (\d+)", line)
    if m:
        ids[m.group(1)] = int(m.group(2))
expected_ids = {
    "RES_MANIFEST": 1, "RES_MENU_CONTEXT": 101, "RES_CMD_RESTART": 40001, "RES_CMD_EXIT": 40002,
    "RES_MBM_BASE": 112, "RES_MBM_POINTER": 119, "RES_MBM_SPINNER": 120, "RES_MBM_BACKGROUND": 121,
    "RES_WAVE_SELECT": 114, "RES_WAVE_PROMPT": 115, "RES_WAVE_BUSY": 116, "RES_WAVE_CLOSE": 117,
    "RES_WAVE_SHOW": 118, "RES_CURSOR_ARROW": 111, "RES_CURSOR_ARROW_IMAGE": 1, "RES_ICON_APP": 113,
    "RES_ICON_APP_IMAGE": 2,
}
expected_ids.update({f"RES_MBM_LAYER_{n}": n for n in range(102, 111)})
for name, value in expected_ids.items():
    c.eq(f"resource_ids.h: {name}", ids.get(name), value)

# Every statement "ID TYPE "file"" of the script: the id is a name from the
# header, the file exists beside the script.
script = open(os.path.join(RES, "presentation.rc")).read()
declared = {}
for m in re.finditer(r'^(RES_\w+) (\w+) "([^"]+)"', script, re.M):
    name, rtype, path = m.groups()
    declared.setdefault((rtype, ids.get(name)), []).append(path)
    c.true(f"the script's file {path} is beside it", not os.path.isabs(path) and os.path.exists(os.path.join(RES, path)))
want = [("MBM", n) for n in list(range(102, 111)) + [112, 119, 120, 121]]
want += [("WAVE", n) for n in range(114, 119)]
want += [("1", 1), ("12", 111), ("3", 2), ("14", 113), ("24", 1)]
c.eq("types and ids the script declares", set(declared), set(want))

menu = re.search(r"^RES_MENU_CONTEXT MENU\s*BEGIN\s*POPUP \"\"\s*BEGIN\s*(.*?)\s*END\s*END", script, re.M | re.S)
items = re.findall(r'MENUITEM "([^"]*)", (\w+)', menu.group(1)) if menu else []
c.eq("menu items", [(t, ids.get(n)) for t, n in items], [("&Restart", 40001), ("E&xit", 40002)])
c.done()

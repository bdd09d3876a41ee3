"""Checks the application manifest of a built Windows program.

usage: pe_manifest.py EXE invoker
         the program runs as its invoker on Windows 7 to 11: execution level
         asInvoker without UI access (no file or registry virtualisation, no
         installer detection), the four supported-OS entries, and an identity
         of the program's own architecture
       pe_manifest.py EXE SOURCE
         the program carries SOURCE byte for byte as its manifest
Exits 1 naming every mismatch.
"""
import sys
import xml.etree.ElementTree as ET

from checks import Checks
from pe_resources import read_resources

RT_MANIFEST = 24
ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"
COMPAT = "{urn:schemas-microsoft-com:compatibility.v1}"
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "Windows 7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "Windows 8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "Windows 8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "Windows 10 and 11",
}


def invoker_problems(manifest, magic):
    """What keeps manifest (bytes) from making a PE of that optional-header
    magic run as its invoker on Windows 7 to 11."""
    problems = []
    root = ET.fromstring(manifest)
    if root.tag != ASM_V1 + "assembly":
        return [f"root element {root.tag}"]
    # The level may sit in either trustInfo namespace; Windows reads both.
    levels = [e for ns in (ASM_V1, ASM_V3) for e in root.iter(ns + "requestedExecutionLevel")]
    if len(levels) != 1:
        problems.append(f"{len(levels)} requestedExecutionLevel elements")
    else:
        level = levels[0]
        if level.get("level") != "asInvoker":
            problems.append(f"execution level {level.get('level')!r}")
        if level.get("uiAccess", "false") != "false":
            problems.append(f"uiAccess {level.get('uiAccess')!r}")
    found = {e.get("Id", "").lower() for e in root.iter(COMPAT + "supportedOS")}
    for guid, system in SUPPORTED_OS.items():
        if guid not in found:
            problems.append(f"no supportedOS entry for {system}")
    identity = root.find(ASM_V1 + "assemblyIdentity")
    arch = {0x10B: "x86", 0x20B: "amd64"}[magic]
    if identity is None or identity.get("processorArchitecture", "").lower() != arch:
        problems.append(f"assembly identity is not for {arch}")
    return problems


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    exe, want = sys.argv[1], sys.argv[2]
    resources, magic = read_resources(open(exe, "rb").read())
    c = Checks()
    c.require(f"{exe}: manifest resources, exactly one, id 1",
              [key for key in resources if key[0] == RT_MANIFEST] == [(RT_MANIFEST, 1)])
    manifest = resources[(RT_MANIFEST, 1)]
    if want == "invoker":
        c.eq(f"{exe}: what falls short in the manifest", invoker_problems(manifest, magic), [])
    else:
        c.true(f"{exe}: manifest equal to {want}", manifest == open(want, "rb").read())
    c.done()


if __name__ == "__main__":
    main()

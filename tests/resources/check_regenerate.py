"""Runs the resource tools into a scratch folder and checks that they make
exactly the files committed in presentation/res, byte for byte.

usage: check_regenerate.py RESGEN_PICTURES RESGEN_SOUNDS RESGEN_CURSOR_ICON"""
import os
import subprocess
import sys
import tempfile

from checks import Checks

RES = os.path.join(os.environ["KOR_SOURCE_DIR"], "presentation", "res")
# Written by hand, not by the tools.
HANDWRITTEN = {"presentation.rc", "resource_ids.h", "presentation.manifest", "presentation64.manifest"}

c = Checks()
with tempfile.TemporaryDirectory() as out:
    for tool in sys.argv[1:]:
        r = subprocess.run([tool, out], capture_output=True, text=True)
        c.eq(f"{os.path.basename(tool)}: exit code", (r.returncode, r.stderr.strip()), (0, ""))
    made = set(os.listdir(out))
    committed = set(os.listdir(RES)) - HANDWRITTEN
    c.eq("committed files that no tool makes", sorted(committed - made), [])
    c.eq("files made but not committed", sorted(made - committed), [])
    for name in sorted(made & committed):
        a = open(os.path.join(out, name), "rb").read()
        b = open(os.path.join(RES, name), "rb").read()
        if not c.true(name, a == b):
            where = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            print(f"  made {len(a)} bytes, committed {len(b)}, first difference at byte {where}")
    print(f"{len(made & committed)} files compared")

if c.failed:
    print("run tools/resgen/regenerate.sh and commit presentation/res")
c.done()

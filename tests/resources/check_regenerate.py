"""Runs the resource tools into a scratch folder and checks that they make
exactly the files committed in presentation/res, byte for byte.

usage: check_regenerate.py RESGEN_PICTURES RESGEN_SOUNDS RESGEN_CURSOR_ICON"""
import os
import subprocess
import sys
import tempfile

RES = os.path.join(os.environ["KOR_SOURCE_DIR"], "presentation", "res")
# Written by hand, not by the tools.
HANDWRITTEN = {"presentation.rc", "resource_ids.h", "presentation.manifest", "presentation64.manifest"}

failures = []
with tempfile.TemporaryDirectory() as out:
    for tool in sys.argv[1:]:
        r = subprocess.run([tool, out], capture_output=True, text=True)
        if r.returncode != 0:
            failures.append(f"{os.path.basename(tool)} exited {r.returncode}: {r.stderr.strip()}")
    made = set(os.listdir(out))
    committed = set(os.listdir(RES)) - HANDWRITTEN
    for name in sorted(committed - made):
        failures.append(f"{name} is committed but no tool makes it")
    for name in sorted(made - committed):
        failures.append(f"{name} is made but not committed")
    for name in sorted(made & committed):
        a = open(os.path.join(out, name), "rb").read()
        b = open(os.path.join(RES, name), "rb").read()
        if a != b:
            where = next((i for i in range(min(len(a), len(b))) if a[i] != b[i]), min(len(a), len(b)))
            failures.append(f"{name}: made {len(a)} bytes, committed {len(b)}, first difference at byte {where}")
    print(f"{len(made & committed)} files compared")

for f in failures:
    print("FAIL:", f)
if failures:
    print("run tools/resgen/regenerate.sh and commit presentation/res")
sys.exit(1 if failures else 0)

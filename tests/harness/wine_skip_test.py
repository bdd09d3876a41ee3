"""wine.py skips, with the reason, where its loader cannot run: no loader
file (wine32:i386 not installed), or one the kernel will not start (a kernel
without 32-bit support refuses the 32-bit loader with "Exec format error",
as it does here the ELF program for another machine that this test writes).
Both for the template fixture and for a test that makes its prefix."""
import os
import subprocess
import sys
import tempfile

from checks import SKIP, Checks

HARNESS = os.path.dirname(os.path.abspath(__file__))
WINE_PY = os.path.join(HARNESS, "wine.py")

# A 32-bit ELF program header for ARM (machine 0x28): a kernel for x86 cannot
# start it, just as a kernel without 32-bit support cannot start an i386 one.
FOREIGN_ELF = (b"\x7fELF\x01\x01\x01" + b"\0" * 9 + b"\x02\x00\x28\x00\x01\x00\x00\x00"
               + b"\x54\x80\x04\x08\x34" + b"\0" * 7 + b"\0" * 8 + b"\x34\x00\x20\x00\x01\x00"
               + b"\0" * 6)

c = Checks()
with tempfile.TemporaryDirectory(prefix="kor-wineskip-") as tmp:
    refused = os.path.join(tmp, "wine")
    with open(refused, "wb") as f:
        f.write(FOREIGN_ELF + b"\0" * 64)
    os.chmod(refused, 0o755)
    template = os.path.join(tmp, "template")
    prefix_parent = os.path.join(tmp, "prefixes")
    os.mkdir(prefix_parent)
    make_prefix = ("from wine import WinePrefix\nwith WinePrefix('skip'):\n"
                   "    print('ran with a prefix')\n")

    # (case, loader, argv, words the reason must contain)
    cases = [
        ("template, no loader", os.path.join(tmp, "absent"), [WINE_PY, "make-template", template],
         ["32-bit Wine is not installed", "wine32:i386"]),
        ("template, loader refused", refused, [WINE_PY, "make-template", template],
         ["cannot be started", "does not run 32-bit programs"]),
        ("test prefix, no loader", os.path.join(tmp, "absent"), ["-c", make_prefix],
         ["32-bit Wine is not installed"]),
        ("test prefix, loader refused", refused, ["-c", make_prefix],
         ["does not run 32-bit programs"]),
    ]
    for case, loader, argv, words in cases:
        env = dict(os.environ, KOR_WINE_LOADER=loader, KOR_WINE_ARCH="win32", TMPDIR=prefix_parent,
                   PYTHONPATH=HARNESS)
        env.pop("KOR_WINE_TEMPLATE", None)
        p = subprocess.run([sys.executable] + argv, env=env, stdout=subprocess.PIPE,
                           stderr=subprocess.STDOUT, timeout=60)
        out = p.stdout.decode("latin-1")
        if c.true(f"{case}: exit code {SKIP}", p.returncode == SKIP, f"exit code {p.returncode}, output {out!r}"):
            c.true(f"{case}: reason", out.startswith("SKIP: ") and all(w in out for w in words), f"{out!r} lacks {words}")
        left = os.listdir(prefix_parent) + (["template"] if os.path.exists(template) else [])
        c.eq(f"{case}: left behind", left, [])
c.done()

"""Makes one release artefact with scripts/package.sh from the builds of this
tree, into a folder of the test's own, so that every package test checks what
the packaging makes of the programs just built."""
import os
import re
import subprocess

SOURCE = os.environ["KOR_SOURCE_DIR"]
BUILD = os.environ["KOR_BUILD_DIR"]
# The presets' build folders lie side by side: build/native, build/win32, ...
BUILDS = os.path.dirname(BUILD)


def project_version():
    text = open(os.path.join(SOURCE, "CMakeLists.txt")).read()
    return re.search(r"^project\(Korvanel VERSION ([0-9.]+)", text, re.M).group(1)


def make(artefact, out):
    """Runs package.sh for one artefact (setup32, setup64, zip, deb) into out
    and returns the path of the file it wrote."""
    version = project_version()
    names = {"setup32": f"korvanel-ostrel-{version}-setup.exe",
             "setup64": f"korvanel-ostrel-{version}-win64-setup.exe",
             "zip": f"korvanel-ostrel-{version}-win32.zip",
             "deb": f"korvanel-ostrel_{version}_amd64.deb"}
    subprocess.run([os.path.join(SOURCE, "scripts", "package.sh"), "--no-build", "--build", BUILDS,
                    "--out", out, artefact], check=True, stdout=subprocess.DEVNULL)
    path = os.path.join(out, names[artefact])
    if not os.path.isfile(path):
        raise SystemExit(f"package.sh {artefact} did not write {path}")
    return path

"""Builds the release twice, as two packagers would, and requires the same
bytes: scripts/package.sh in two clean copies of this checkout, in other
folders at other depths, with another umask, time zone, locale, user name,
temporary folder (on another file system where /dev/shm is one) and host
name (where unshare can give one). The second copy is built first under
another SOURCE_DATE_EPOCH and then packaged again over that build on one CPU,
so its programs were linked before the time it finally carries. Every
release file and SHA256SUMS must match byte for byte; where one does not,
the test names the file and what differs in it.

The copies are clones of the commit with the checkout's uncommitted and
untracked files laid over it, so that what is tested is the checkout as it
stands (package.sh then warns that it is not the commit)."""
import hashlib
import os
import shutil
import subprocess
import tempfile
import time

import artefact
import release_diff
from checks import Checks, skip

SOURCE = os.environ["KOR_SOURCE_DIR"]
RELEASE = ("korvanel-ostrel-{v}-setup.exe", "korvanel-ostrel-{v}-win32.zip",
           "korvanel-ostrel_{v}_amd64.deb", "SHA256SUMS")
# Everything a run could inherit that the packager's machine decides.
INHERITED = ("SOURCE_DATE_EPOCH", "TZ", "LANG", "LANGUAGE", "LC_ALL", "LC_CTYPE", "LC_COLLATE",
             "LC_TIME", "LC_MESSAGES", "TMPDIR", "USER", "LOGNAME", "MAKEFLAGS")


def git(*args, cwd=SOURCE, **kw):
    return subprocess.run(["git", *args], cwd=cwd, check=True, capture_output=True, **kw).stdout


def clean_copy(dest, umask):
    """A clone of HEAD, checked out under umask, with the checkout's changes
    laid over it. Returns how many changed paths it took over."""
    head = git("rev-parse", "HEAD", text=True).strip()
    with_umask = dict(preexec_fn=lambda: os.umask(umask))
    subprocess.run(["git", "clone", "--quiet", "--no-checkout", SOURCE, dest], check=True, **with_umask)
    subprocess.run(["git", "checkout", "--quiet", "--detach", head], cwd=dest, check=True, **with_umask)
    changed = git("ls-files", "-z", "--modified", "--others", "--exclude-standard").split(b"\0")
    paths = sorted({os.fsdecode(p) for p in changed if p})
    for path in paths:
        source, target = os.path.join(SOURCE, path), os.path.join(dest, path)
        if os.path.lexists(target):
            os.remove(target)
        if os.path.islink(source):
            os.symlink(os.readlink(source), target)
        elif os.path.isfile(source):
            os.makedirs(os.path.dirname(target), exist_ok=True)
            shutil.copyfile(source, target)
            os.chmod(target, os.stat(source).st_mode & 0o777 & ~umask)
    return len(paths)


def package(copy, env, log, args=(), one_cpu=False, host=None):
    """Runs scripts/package.sh in a copy for the three release files; its
    output goes to log, whose end is shown when it fails."""
    command = [os.path.join(copy, "scripts", "package.sh"), *args, "setup32", "zip", "deb"]
    if host:
        command = ["unshare", "--uts", "sh", "-c", 'hostname "$0" && exec "$@"', host, *command]

    def start():
        os.umask(env["umask"])
        if one_cpu:
            os.sched_setaffinity(0, {min(os.sched_getaffinity(0))})
    started = time.monotonic()
    with open(log, "wb") as out:
        result = subprocess.run(command, cwd=copy, env=env["vars"], stdout=out, stderr=subprocess.STDOUT,
                                preexec_fn=start)
    if result.returncode != 0:
        tail = open(log, "rb").read().decode(errors="replace").splitlines()[-30:]
        c.stop(f"package.sh in {copy}", f"exit code {result.returncode}:\n" + "\n".join(tail))
    return time.monotonic() - started


def environment(base, umask, **vars_):
    env = {k: v for k, v in base.items() if k not in INHERITED}
    env.update(vars_)
    return {"umask": umask, "vars": env}


def host_name_possible():
    try:
        return subprocess.run(["unshare", "--uts", "hostname", "rebuild-check"], capture_output=True).returncode == 0
    except OSError:
        return False


def stamp(path):
    st = os.stat(path)
    return st.st_ino, st.st_mtime_ns


def compare(dist_a, dist_b, names):
    for name in names:
        a_path, b_path = os.path.join(dist_a, name), os.path.join(dist_b, name)
        if not c.true(f"{name} made by both builds", os.path.isfile(a_path) and os.path.isfile(b_path)):
            continue
        a, b = open(a_path, "rb").read(), open(b_path, "rb").read()
        lines = release_diff.explain(name, a, b)
        if c.true(f"{name} the same in both builds", not lines, "differs:\n  " + "\n  ".join(lines)):
            print(f"same: {name} ({len(a)} bytes, sha256 {hashlib.sha256(a).hexdigest()})")


def check_sums(dist, names):
    """SHA256SUMS lists each release file with its checksum, nothing else."""
    listed = {}
    for line in open(os.path.join(dist, "SHA256SUMS")).read().splitlines():
        digest, _, name = line.partition("  ")
        listed[name] = digest
    for name in names:
        actual = hashlib.sha256(open(os.path.join(dist, name), "rb").read()).hexdigest()
        c.eq(f"{dist}: SHA256SUMS gives {name}'s checksum", listed.pop(name, None), actual)
    c.eq(f"{dist}: SHA256SUMS lists what is not a release file", sorted(listed), [])


def main():
    try:
        git("rev-parse", "HEAD")
    except (subprocess.CalledProcessError, OSError):
        skip(f"{SOURCE} is not a git checkout with a commit: nothing to rebuild from")
    version = artefact.project_version()
    names = [n.format(v=version) for n in RELEASE]
    commit_time = int(git("log", "-1", "--format=%ct", text=True))
    scratch = tempfile.mkdtemp(prefix="kor-reproducible-")
    shm = "/dev/shm"
    other_fs = os.path.isdir(shm) and os.access(shm, os.W_OK) and os.stat(shm).st_dev != os.stat(scratch).st_dev
    tmp_b = tempfile.mkdtemp(prefix="kor-reproducible-tmp-", dir=shm if other_fs else scratch)
    host = "rebuild-b" if host_name_possible() else None
    try:
        copy_a = os.path.join(scratch, "a")
        copy_b = os.path.join(scratch, "b", "one level", "two levels", "copy b")
        os.makedirs(os.path.dirname(copy_b))
        changed = clean_copy(copy_a, 0o022)
        clean_copy(copy_b, 0o077)
        env_a = environment(os.environ, 0o022, LC_ALL="C", TZ="UTC", USER="packager-a", LOGNAME="packager-a")
        env_b = environment(os.environ, 0o077, LANG="C.UTF-8", TZ="XST-14", USER="packager-b",
                            LOGNAME="packager-b", TMPDIR=tmp_b)
        earlier = dict(env_b, vars=dict(env_b["vars"], SOURCE_DATE_EPOCH=str(commit_time - 400 * 86400)))

        # What was varied, checked where it could silently not have been.
        zones = [subprocess.run(["date", "+%z"], env=e["vars"], capture_output=True, text=True).stdout.strip()
                 for e in (env_a, env_b)]
        modes = [os.stat(os.path.join(c, "CMakeLists.txt")).st_mode & 0o777 for c in (copy_a, copy_b)]
        print(f"copies: {copy_a} and {copy_b}, each with {changed} uncommitted or untracked paths of the checkout")
        print(f"umask 022 / 077 (CMakeLists.txt {oct(modes[0])} / {oct(modes[1])}); time zone {zones[0]} / {zones[1]}; "
              f"locale C / C.UTF-8; user packager-a / packager-b")
        print(f"temporary folder: {tempfile.gettempdir()} / {tmp_b}" + (" (another file system)" if other_fs else ""))
        print("host name: " + (f"this machine's / {host}" if host else "not varied (unshare --uts is not allowed here)"))
        c.require("measured: the umask and the time zone varied", modes[0] != modes[1] and zones[0] != zones[1])

        seconds = [package(copy_a, env_a, os.path.join(scratch, "a.log"), host=None)]
        seconds.append(package(copy_b, earlier, os.path.join(scratch, "b-first.log"),
                               args=("--out", os.path.join(scratch, "b-first")), host=host))
        programs = [os.path.join(copy_b, "build", "win32", "wipe", "Korwipe.exe"),
                    os.path.join(copy_b, "build", "native", "wipe", "Korwipe")]
        before = [stamp(p) for p in programs]
        seconds.append(package(copy_b, env_b, os.path.join(scratch, "b.log"), one_cpu=True, host=host))
        print("seconds: build and package a %.0f, b under another SOURCE_DATE_EPOCH %.0f, "
              "b packaged again on one CPU %.0f" % tuple(seconds))

        c.true("measured: the second run in b did not link its programs again",
               [stamp(p) for p in programs] == before, "so b's release does not come from the earlier build")
        dist_a, dist_b = os.path.join(copy_a, "dist"), os.path.join(copy_b, "dist")
        compare(dist_a, dist_b, names)
        for dist in (dist_a, dist_b):
            check_sums(dist, names[:3])
        # The earlier time must show in the files that carry times: else
        # the comparison above could not have seen a time either.
        for name in names[1:3]:
            lines = release_diff.explain(name, open(os.path.join(dist_a, name), "rb").read(),
                                         open(os.path.join(scratch, "b-first", name), "rb").read())
            c.true(f"measured: {name} under another SOURCE_DATE_EPOCH shows another time",
                   any("time" in line for line in lines), lines)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
        shutil.rmtree(tmp_b, ignore_errors=True)
    c.done()


if __name__ == "__main__":
    c = Checks()
    main()

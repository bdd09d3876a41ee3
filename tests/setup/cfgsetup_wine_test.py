"""cfgsetup.exe under Wine, each case in a Wine prefix of its own.

Usage: cfgsetup_wine_test.py CASE CFGSETUP_EXE CACLS_STANDIN_EXE [KORWIPE_EXE KORWIPE_TESTCFG_EXE]

The prefix's system CACLS.exe is replaced by a stand-in that records how it
was started (its own path, the show state, its command line) in
C:\\cacls-calls.txt, so the cases can check the tool's exact parameter line.
Wine is told to load that file rather than its built-in tool.
"""
import os
import shutil
import subprocess
import sys
import tempfile
import time

from checks import Checks
from readwatch import ReadWatch
from wine import WinePrefix

SOURCE_NAME = "Tavisk Sleeper.ini"
DEFAULT_LINE = '"C:\\ProgramData\\Korvanel\\Ostrel\\config.cfg" /E /G Users:C'
SHELL_FOLDERS = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders"


class SetupPrefix:
    """A Wine prefix with the stand-in tool and cfgsetup.exe in a folder of choice."""

    def __init__(self, cfgsetup, standin):
        self.wp = WinePrefix("cfgsetup")
        self.cfgsetup = cfgsetup
        names = [n for n in os.listdir(self.wp.system32) if n.lower() == "cacls.exe"] or ["cacls.exe"]
        shutil.copy(standin, os.path.join(self.wp.system32, names[0]))
        self.drive_c = os.path.join(self.wp.prefix, "drive_c")
        self.records = os.path.join(self.drive_c, "cacls-calls.txt")
        self.hold = os.path.join(self.drive_c, "cacls-hold")
        self.place_program(self.wp.scratch, None)

    def place_program(self, unix_folder, windows_folder):
        """Copies cfgsetup.exe into unix_folder; runs it by its Windows path when given."""
        os.makedirs(unix_folder, exist_ok=True)
        shutil.copy(self.cfgsetup, os.path.join(unix_folder, "cfgsetup.exe"))
        self.folder = unix_folder
        self.exe = (windows_folder + "cfgsetup.exe") if windows_folder else os.path.join(unix_folder, "cfgsetup.exe")

    def put_source(self, data):
        path = os.path.join(self.folder, SOURCE_NAME)
        if data is None:
            if os.path.exists(path):
                os.remove(path)
        else:
            with open(path, "wb") as f:
                f.write(data)

    def run(self, args=(), wait=True, timeout=60):
        """Runs cfgsetup; checks exit code 0 and no output. With wait, also
        waits for the tool it started to end."""
        out = tempfile.TemporaryFile()
        # Output into a file, not a pipe: the started tool inherits the
        # descriptors, and a pipe would make this wait for the tool as well.
        p = subprocess.run(self.wp.argv(self.exe, args), cwd=self.wp.scratch, stdout=out, stderr=out,
                           env=self.wp.env({"WINEDLLOVERRIDES": "mscoree,mshtml=;cacls.exe=n"}), timeout=timeout)
        out.seek(0)
        text = out.read()
        c.require(f"exit code {p.returncode}, expected 0 (args {list(args)!r}); output {text[-600:]!r}",
                  p.returncode == 0)
        c.require(f"expected no output, got {text[:300]!r}", text == b"")
        if wait:
            self.wp.wait_idle()

    def calls(self):
        """The stand-in's records: a list of (module, show flag, show state, command line) and
        the number of times it was released."""
        if not os.path.exists(self.records):
            return [], 0
        with open(self.records, encoding="utf-8") as f:
            lines = f.read().splitlines()
        calls = [tuple(line.split("\t")[1:5]) for line in lines if line.startswith("call\t")]
        return calls, lines.count("released")

    def forget_calls(self):
        if os.path.exists(self.records):
            os.remove(self.records)

    def reg_set_common_appdata(self, value):
        r = self.wp.run("reg", ["add", SHELL_FOLDERS, "/v", "Common AppData", "/t", "REG_EXPAND_SZ", "/d", value, "/f"])
        c.require(f"reg add failed: {r}", r.rc == 0)
        self.wp.wait_idle()

    def unix(self, windows_path):
        return os.path.join(self.drive_c, *windows_path[3:].split("\\"))

    def close(self):
        self.wp.close()


def parameter_line(call):
    """The parameters after the program part of a recorded command line."""
    line = call[3]
    c.require(f"program part not quoted: {line!r}", line.startswith('"'))
    end = line.index('"', 1)
    program = line[1:end]
    c.require(f"started program {program!r}", program.lower() == "c:\\windows\\system32\\cacls.exe")
    c.require(f"no blank after the program: {line!r}", line[end + 1:end + 2] == " ")
    return line[end + 2:]


def check_one_call(sp, expected_line, what):
    calls, _ = sp.calls()
    c.require(f"{what}: tool started {len(calls)} times, expected once: {calls}", len(calls) == 1)
    module, flag, show, _ = calls[0]
    c.require(f"{what}: tool ran from {module!r}", module.lower() == "c:\\windows\\system32\\cacls.exe")
    c.require(f"{what}: tool not started hidden (flag {flag}, show state {show})", (flag, show) == ("1", "0"))
    got = parameter_line(calls[0])
    c.require(f"{what}: parameter line {got!r}, expected {expected_line!r}", got == expected_line)


def target(sp):
    return os.path.join(sp.wp.programdata, "Korvanel", "Ostrel", "config.cfg")


def read(path):
    with open(path, "rb") as f:
        return f.read()


def case_first_and_second_run(sp):
    first = b"\x03 rest is ignored \xff\x00\r\n"
    sp.put_source(first)
    sp.run()
    c.require("folders not created", os.path.isdir(os.path.join(sp.wp.programdata, "Korvanel", "Ostrel")))
    c.require("first run: copy differs from the source", read(target(sp)) == first)
    check_one_call(sp, DEFAULT_LINE, "first run")

    sp.forget_calls()
    sp.put_source(b"\x01")
    sp.run()
    c.require("second run: config.cfg was not replaced", read(target(sp)) == b"\x01")
    check_one_call(sp, DEFAULT_LINE, "second run")


def case_no_source(sp):
    sp.run()
    c.require("folders not created", os.path.isdir(os.path.join(sp.wp.programdata, "Korvanel", "Ostrel")))
    c.require("config.cfg placed without a source", not os.path.exists(target(sp)))
    check_one_call(sp, DEFAULT_LINE, "no source")


def outcome(sp):
    top = os.path.join(sp.wp.programdata, "Korvanel")
    names = sorted(os.path.relpath(os.path.join(d, n), top) for d, ds, fs in os.walk(top) for n in ds + fs)
    data = read(target(sp)) if os.path.exists(target(sp)) else None
    return names, data, [parameter_line(c) for c in sp.calls()[0]]


def case_arguments(sp):
    sp.put_source(b"\x02")
    sp.run()
    expected = outcome(sp)
    c.require(f"baseline run: {expected}", expected[1] == b"\x02" and expected[2] == [DEFAULT_LINE])
    for args in (["x"], ["-d", "*"], ["/E", "/G", "Everyone:F"], ["C:\\other.ini"], ["a b", "\u00fc"]):
        shutil.rmtree(os.path.join(sp.wp.programdata, "Korvanel"))
        sp.forget_calls()
        sp.run(args)
        got = outcome(sp)
        c.require(f"arguments {args!r}: outcome {got}, expected {expected}", got == expected)


def case_not_waited_for(sp):
    # The stand-in stays running while the hold file exists (up to a minute);
    # cfgsetup must be done long before that.
    sp.put_source(b"\x00")
    open(sp.hold, "w").close()
    started = time.monotonic()
    sp.run(wait=False, timeout=40)
    took = time.monotonic() - started
    deadline = time.monotonic() + 20
    while not sp.calls()[0] and time.monotonic() < deadline:
        time.sleep(0.2)
    calls, released = sp.calls()
    c.require(f"tool not started while cfgsetup ran: {calls}", len(calls) == 1)
    c.require("the tool had ended before cfgsetup returned: cannot tell whether it was waited for", released == 0)
    os.remove(sp.hold)
    sp.wp.wait_idle()
    c.require("the tool did not end after its hold was lifted", sp.calls()[1] == 1)
    print(f"cfgsetup returned after {took:.1f} s while the tool was still running")


def windows_path_of_length(n, trailing_backslash):
    """C:\\ followed by folder names of up to 60 characters, exactly n characters long."""
    end = n - (1 if trailing_backslash else 0)
    path, i = "C:\\", 0
    while end - len(path) > 61:
        path += (f"d{i}" + "x" * 60)[:60] + "\\"
        i += 1
    path += (f"d{i}" + "x" * 60)[:end - len(path)]
    if trailing_backslash:
        path += "\\"
    assert len(path) == n, (n, path)
    return path


def case_long_paths(sp):
    # The line "<path>" /E /G Users:C is the path plus 16 characters; the
    # destination is the folder plus 27 ("\Korvanel\Ostrel\config.cfg"). Each
    # buffer holds 259 characters and the terminator.
    sp.put_source(b"\x01")

    # Program folders (with their backslash) around the source name's limit:
    # folder + "Tavisk Sleeper.ini" (18) and folder + "cfgsetup.exe" (12).
    for length, placed in ((241, True), (242, False), (250, False)):
        folder = windows_path_of_length(length, True)
        sp.place_program(sp.unix(folder), folder)
        sp.put_source(b"\x01")
        shutil.rmtree(os.path.join(sp.wp.programdata, "Korvanel"), ignore_errors=True)
        sp.forget_calls()
        sp.run()
        what = f"program folder of {length} characters"
        c.require(f"{what}: config.cfg placed is {not placed}, expected {placed}", os.path.exists(target(sp)) == placed)
        check_one_call(sp, DEFAULT_LINE, what)

    # Application-data folders around each limit: (length, Korvanel made,
    # Ostrel made, config.cfg placed, tool started).
    sp.place_program(sp.wp.scratch, None)
    sp.put_source(b"\x01")
    cases = (
        (216, True, True, True, True),     # the line just fits (259)
        (217, True, True, True, False),    # the line is one too long
        (232, True, True, True, False),    # the destination just fits
        (233, True, True, False, False),   # the destination is one too long
        (243, True, True, False, False),   # ...\Ostrel just fits
        (244, True, False, False, False),  # ...\Ostrel is one too long
        (251, False, False, False, False), # ...\Korvanel is one too long
    )
    for length, korvanel, ostrel, placed, started in cases:
        appdata = windows_path_of_length(length, False)
        sp.reg_set_common_appdata(appdata)
        sp.forget_calls()
        sp.run()
        base = sp.unix(appdata)
        what = f"application-data folder of {length} characters"
        got = (os.path.isdir(os.path.join(base, "Korvanel")), os.path.isdir(os.path.join(base, "Korvanel", "Ostrel")),
               os.path.exists(os.path.join(base, "Korvanel", "Ostrel", "config.cfg")))
        c.require(f"{what}: (Korvanel, Ostrel, config.cfg) = {got}, "
                  f"expected {(korvanel, ostrel, placed)}", got == (korvanel, ostrel, placed))
        if placed:
            c.require(f"{what}: copy differs", read(os.path.join(base, "Korvanel", "Ostrel", "config.cfg")) == b"\x01")
        calls = sp.calls()[0]
        if started:
            check_one_call(sp, f'"{appdata}\\Korvanel\\Ostrel\\config.cfg" /E /G Users:C', what)
        else:
            c.require(f"{what}: tool started with a line that does not fit: {calls}", calls == [])


def victim_state(folder):
    """Every entry under folder with its kind, bytes, link count and change time."""
    state = []
    for d, ds, fs in os.walk(folder):
        for n in sorted(ds + fs):
            path = os.path.join(d, n)
            st = os.lstat(path)
            data = read(path) if os.path.isfile(path) and not os.path.islink(path) else None
            state.append((os.path.relpath(path, folder), st.st_mode, data, st.st_nlink, st.st_mtime_ns,
                          st.st_ctime_ns))
    return sorted(state)


def remove_korvanel(sp):
    top = os.path.join(sp.wp.programdata, "Korvanel")
    if os.path.islink(top):
        os.remove(top)
    elif os.path.exists(top):
        shutil.rmtree(top)


def case_planted_links(sp):
    # A user plants a link on the way to config.cfg before the administrator's
    # run, aiming it at a folder or file outside the prefix. Wine shows POSIX
    # links to Windows programs (it makes no junctions or symbolic links of
    # its own). The run must create or change nothing there and grant nothing;
    # a hard link is replaced by a file of config.cfg's own.
    victim = os.path.join(sp.wp.root, "victim")
    korvanel = os.path.join(sp.wp.programdata, "Korvanel")
    ostrel = os.path.join(korvanel, "Ostrel")

    def korvanel_link():
        os.symlink(victim, korvanel)

    def ostrel_link():
        os.makedirs(korvanel)
        os.symlink(victim, ostrel)

    def file_link(name):
        def plant():
            os.makedirs(ostrel)
            os.symlink(os.path.join(victim, name), target(sp))
        return plant

    def file_hard_link():
        os.makedirs(ostrel)
        os.link(os.path.join(victim, "victim.cfg"), target(sp))

    # (what is planted, how, config.cfg placed with the setting and the tool started)
    cases = (
        ("nothing", lambda: None, True),
        ("Korvanel: link to the victim folder", korvanel_link, False),
        ("Ostrel: link to the victim folder", ostrel_link, False),
        ("config.cfg: link to the victim file", file_link("victim.cfg"), False),
        ("config.cfg: link to a new file in the victim folder", file_link("new.cfg"), False),
        ("config.cfg: hard link of the victim file", file_hard_link, True),
    )
    sp.put_source(b"\x04")
    for what, plant, placed in cases:
        remove_korvanel(sp)
        shutil.rmtree(victim, ignore_errors=True)
        os.makedirs(os.path.join(victim, "sub"))
        with open(os.path.join(victim, "victim.cfg"), "wb") as f:
            f.write(b"\x05 the victim's own bytes")
        plant()
        before = victim_state(victim)
        sp.forget_calls()
        sp.run()
        after = victim_state(victim)
        if placed:
            # The hard link's other name is gone from config.cfg: the victim
            # file keeps its bytes and now has one name (which changes its
            # change time, and only that).
            before = [e[:3] + (1, e[4], None) if e[0] == "victim.cfg" else e for e in before]
            after = [e[:5] + (None,) if e[0] == "victim.cfg" else e for e in after]
        c.require(f"{what}: the victim folder changed: {before} -> {after}", after == before)
        got = read(target(sp)) if os.path.isfile(target(sp)) and not os.path.islink(target(sp)) else None
        if placed:
            c.require(f"{what}: config.cfg is {got!r}", got == b"\x04" and os.stat(target(sp)).st_nlink == 1)
            check_one_call(sp, DEFAULT_LINE, what)
        else:
            c.require(f"{what}: the tool was started: {sp.calls()[0]}", sp.calls()[0] == [])


def case_squatted_folders(sp, holder):
    # A user makes Korvanel (or Ostrel) before the administrator's run and
    # keeps it open, with the rights a folder's owner always has and the
    # right to add files. Wine keeps no owners: a folder whose Unix mode lets
    # everyone write is one it shows as open to everyone's changes, which
    # cfgsetup must not take over. It moves the folder aside through its
    # handle and makes it anew, so the maker's handle can still add files
    # only to the folder moved aside; held so that it cannot be moved,
    # nothing is placed and no tool started.
    data = sp.wp.programdata
    go = os.path.join(sp.drive_c, "go")

    def squat(rel, mode=0o777):
        os.makedirs(os.path.join(data, rel))
        os.chmod(os.path.join(data, rel), mode)
        with open(os.path.join(data, rel, "theirs.txt"), "wb") as f:
            f.write(b"the maker's own file")

    def names():
        return sorted(os.path.relpath(os.path.join(d, n), data) for d, ds, fs in os.walk(data)
                      for n in ds + fs if os.path.relpath(os.path.join(d, n), data).startswith("Korvanel"))

    # (what, folders made beforehand (path, mode), folder held, its sharing,
    #  names afterwards, tool started)
    placed = ["Korvanel", "Korvanel/Ostrel", "Korvanel/Ostrel/config.cfg"]
    cases = (
        ("Korvanel made by a user", [("Korvanel", 0o777)], "Korvanel", "all",
         placed + ["Korvanel.untrusted-1", "Korvanel.untrusted-1/planted.txt", "Korvanel.untrusted-1/theirs.txt"],
         True),
        ("Ostrel made by a user", [("Korvanel", 0o755), ("Korvanel/Ostrel", 0o777)], "Korvanel\\Ostrel", "all",
         placed + ["Korvanel/Ostrel.untrusted-1", "Korvanel/Ostrel.untrusted-1/planted.txt",
                   "Korvanel/Ostrel.untrusted-1/theirs.txt", "Korvanel/theirs.txt"],
         True),
        ("the first aside name taken", [("Korvanel.untrusted-1", 0o755), ("Korvanel", 0o777)], "Korvanel", "all",
         placed + ["Korvanel.untrusted-1", "Korvanel.untrusted-1/theirs.txt", "Korvanel.untrusted-2",
                   "Korvanel.untrusted-2/planted.txt", "Korvanel.untrusted-2/theirs.txt"],
         True),
        ("Korvanel held without sharing delete", [("Korvanel", 0o777)], "Korvanel", "nodelete",
         ["Korvanel", "Korvanel/planted.txt", "Korvanel/theirs.txt"], False),
    )
    sp.put_source(b"\x03")
    for what, made, held, sharing, expected, started in cases:
        for n in os.listdir(data):
            if n.startswith("Korvanel"):
                shutil.rmtree(os.path.join(data, n))
        for rel, mode in made:
            squat(rel, mode)
        if os.path.exists(go):
            os.remove(go)
        sp.forget_calls()
        p = subprocess.Popen(sp.wp.argv(holder, ["C:\\ProgramData\\" + held, sharing, "C:\\go", "planted.txt"]),
                             cwd=sp.wp.scratch, env=sp.wp.env(), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            first = p.stdout.readline().strip()
            c.require(f"{what}: the holder could not open the folder: {first!r}", first == b"held")
            sp.run(wait=False)
            open(go, "w").close()
            last = p.stdout.read().strip()
        finally:
            p.wait(timeout=120)
        sp.wp.wait_idle()
        got = names()
        c.require(f"{what}: ProgramData holds {got}, expected {sorted(expected)}", got == sorted(expected))
        c.require(f"{what}: the holder's handle could not add a file: {last!r}", last == b"created")
        if started:
            c.require(f"{what}: config.cfg is not the source", read(target(sp)) == b"\x03")
            check_one_call(sp, DEFAULT_LINE, what)
        else:
            c.require(f"{what}: the tool was started: {sp.calls()[0]}", sp.calls()[0] == [])
        theirs = [n for n in got if n.endswith("theirs.txt")]
        for n in theirs:
            c.require(f"{what}: {n} changed", read(os.path.join(data, n)) == b"the maker's own file")


def case_korwipe_reads_setting(sp, korwipe, korwipe_testcfg):
    folder = os.path.join(sp.wp.programdata, "Korvanel", "Ostrel")
    for setting, passes in ((b"\x01", 1), (b"\x00", 5)):
        sp.put_source(setting)
        sp.run()
        victim = os.path.join(sp.wp.scratch, "victim.bin")

        # The shipped Korwipe, in the same prefix, opens and reads the very
        # file cfgsetup placed.
        with open(victim, "wb") as f:
            f.write(b"A" * 600)
        with ReadWatch(folder) as watch:
            r = sp.wp.run(korwipe, ["victim.bin"])
            opened, was_read = watch.seen("config.cfg")
        c.require(f"Korwipe did not erase the file: {r}", r.rc == 0 and not os.path.exists(victim))
        c.require(f"setting {setting[0]}: Korwipe did not read the placed config.cfg "
                  f"(opened {opened}, read {was_read})", opened and was_read)

        # Its test twin, reading that same file by the same Windows path,
        # shows what the byte does: a file under 1 KiB gets five passes
        # automatically and one with the setting 1.
        with open(victim, "wb") as f:
            f.write(b"A" * 600)
        snaps = os.path.join(sp.wp.scratch, f"passes-{setting[0]}")
        os.makedirs(snaps)
        env = {"KORWIPE_TEST_CONFIG": "C:\\ProgramData\\Korvanel\\Ostrel\\config.cfg",
               "KORWIPE_TEST_SNAPSHOT": "Z:" + snaps.replace("/", "\\")}
        r = sp.wp.run(korwipe_testcfg, ["victim.bin"], env=env)
        c.require(f"Korwipe test build did not erase the file: {r}", r.rc == 0 and not os.path.exists(victim))
        got = len(os.listdir(snaps))
        c.require(f"setting {setting[0]}: {got} passes, expected {passes}", got == passes)


CASES = {
    "first_and_second_run": case_first_and_second_run,
    "no_source": case_no_source,
    "arguments": case_arguments,
    "not_waited_for": case_not_waited_for,
    "long_paths": case_long_paths,
    "planted_links": case_planted_links,
    "squatted_folders": case_squatted_folders,
    "korwipe_reads_setting": case_korwipe_reads_setting,
}


def main():
    case, cfgsetup, standin = sys.argv[1:4]
    sp = SetupPrefix(cfgsetup, standin)
    try:
        CASES[case](sp, *sys.argv[4:])
    finally:
        sp.close()
    c.done()


if __name__ == "__main__":
    c = Checks()
    main()

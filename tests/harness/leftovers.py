"""What Wine and the programs it starts can leave outside the build folder,
before and after the Wine tests: the "wine_leaves_nothing_*" fixture pair
around the template prefix.

    leftovers.py snapshot FILE   records what is there now
    leftovers.py compare FILE    fails, naming them, when entries came since

The places are those Wine, its sound and menu helpers and the X server use
by default: in the temporary folder the wineserver's socket folders
(wine-*, .wine-*) and PulseAudio's runtime folders (pulse-*); in the home
folder ~/.wine, PulseAudio's ~/.config/pulse
and the menu builder's ~/.config/menus and ~/.local/share folders. Only
those names are looked at, so the temporary files of tests of other labels
running at the same time do not count. A server folder counts only when it
holds the server of a prefix of this run (wine.py notes their names in
wine-prefixes.log beside the record), so that other users of Wine on the
machine at the same time do not count either; what PulseAudio and the menu
builder leave cannot be told apart that way, and counts whoever made it.
"""
import fnmatch
import json
import os
import sys

from checks import Checks
from wine import PREFIX_LOG

TMP = "/tmp"
TMP_NAMES = ["wine-*", ".wine-*", "pulse-*"]
HOME_PLACES = [".wine", ".config/pulse", ".config/menus", ".local/share/applications",
               ".local/share/desktop-directories", ".local/share/mime", ".local/share/icons"]


def ours(path, servers):
    """Whether a wine-* folder holds the server folder of a prefix of this
    run; any other watched entry counts as it is."""
    name = os.path.basename(path)
    if servers is None or not fnmatch.fnmatch(name, "*wine-*"):
        return True
    try:
        return any(entry in servers for entry in os.listdir(path))
    except OSError:
        return True


def entries(servers=None):
    """Paths of every watched entry, and of everything below it."""
    found = set()
    roots = [os.path.join(TMP, n) for n in sorted(os.listdir(TMP))
             if any(fnmatch.fnmatch(n, pattern) for pattern in TMP_NAMES)]
    roots = [root for root in roots if ours(root, servers)]
    home = os.path.expanduser("~")
    roots += [os.path.join(home, place) for place in HOME_PLACES]
    for root in roots:
        if not os.path.lexists(root):
            continue
        found.add(root)
        for folder, dirs, files in os.walk(root):
            found.update(os.path.join(folder, name) for name in dirs + files)
    return found


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in ("snapshot", "compare"):
        raise SystemExit("usage: leftovers.py snapshot|compare FILE")
    command, record = sys.argv[1:]
    log = os.path.join(os.path.dirname(os.path.abspath(record)), PREFIX_LOG)
    if command == "snapshot":
        open(log, "w").close()
        with open(record, "w") as f:
            json.dump(sorted(entries()), f)
        return
    with open(record) as f:
        before = set(json.load(f))
    with open(log) as f:
        servers = set(f.read().split())
    # The record stays (the next snapshot replaces it), so that a repeated
    # run of this check (ctest --repeat) compares with the same start.
    new = sorted(entries(servers) - before)
    shown = new[:40] + ([f"... and {len(new) - 40} more"] if len(new) > 40 else [])
    c = Checks()
    c.true(f"nothing left behind by the Wine tests in {TMP} or the home folder", not new, "\n  ".join([""] + shown))
    c.done()


if __name__ == "__main__":
    main()

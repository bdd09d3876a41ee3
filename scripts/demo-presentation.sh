#!/bin/sh
# Plays the presentation (the 64-bit build, under Wine).
#
# With a display ($DISPLAY set): in a window, until you choose Exit from its
# right-click menu or close it.
#
# Without a display: on an Xvfb display of its own, maximised in a 1280 x 1024
# Wine desktop, watching the screen the whole time. It saves a screenshot of
# each step of the story (recognised pixel for pixel against the pictures the
# timeline composes), of the end question and of the picture kept after No,
# and an animated GIF of the whole run, into the folder it prints at the end
# ($DEMO_OUT, by default build/demo-presentation).
#
# Programs used (built by scripts/build.sh; each can be named by a variable):
#   PRESENTATION_EXE      build/win64/presentation/presentation.exe
#   PRESENTATION_PROBE    build/win64/tests/presentation/presentation_probe.exe
#   PRESENTATION_PREVIEW  build/native/tools/preview/presentation_preview
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
exe=${PRESENTATION_EXE:-$root/build/win64/presentation/presentation.exe}
probe=${PRESENTATION_PROBE:-$root/build/win64/tests/presentation/presentation_probe.exe}
preview=${PRESENTATION_PREVIEW:-$root/build/native/tools/preview/presentation_preview}
out=${DEMO_OUT:-$root/build/demo-presentation}

if [ ! -f "$exe" ]; then
  echo "demo-presentation: $exe is missing; build first (scripts/build.sh)" >&2
  exit 1
fi

if [ -n "$DISPLAY" ]; then
  echo "== presentation: playing in a window (right-click for Restart and Exit)"
  prefix=${DEMO_WINEPREFIX:-$root/build/demo-wineprefix}
  mkdir -p "$prefix" "$prefix.tmp"
  # As the tests run Wine (tests/harness/wine.py): the server's folder beside
  # the prefix, no menu entries or PulseAudio state in the home folder, and
  # the symbol font of the caption buttons.
  export WINEPREFIX="$prefix" WINEDEBUG=-all WINEARCH=win64 TMPDIR="$prefix.tmp" \
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;winepulse.drv=d"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  fonts=$prefix/drive_c/windows/Fonts
  if [ -f /usr/share/wine/fonts/marlett.ttf ] && [ -d "$fonts" ] && [ ! -e "$fonts/marlett.ttf" ]; then
    ln -s /usr/share/wine/fonts/marlett.ttf "$fonts/marlett.ttf"
  fi
  /usr/lib/wine/wine64 "$exe" || true
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  rm -rf "$prefix.tmp"
  exit 0
fi

for f in "$probe" "$preview"; do
  if [ ! -f "$f" ]; then
    echo "demo-presentation: $f is missing; build first (scripts/build.sh)" >&2
    exit 1
  fi
done
echo "== presentation: no display, playing under Xvfb and recording"
mkdir -p "$out"
rm -f "$out"/[0-9][0-9]-*.png "$out"/presentation.gif
PYTHONPATH=$root/tests/presentation:$root/tests/harness PYTHONDONTWRITEBYTECODE=1 \
  python3 - "$exe" "$probe" "$preview" "$out" "$root/presentation/res" <<'EOF'
import os
import subprocess
import sys
import tempfile
import time

import gui_test as g
from wine import WINE, WinePrefix

exe, probe, preview, out, res = sys.argv[1:6]

# The steps of the story: the tick (at normal speed) whose picture stands for
# the step, and a name. The spinner turns on every tick, so the steps that
# show it are recognised outside its square.
STEPS = [(4, "01-folder"), (20, "02-pointer-on-document"), (30, "03-document-selected"),
         (34, "04-context-menu"), (55, "05-erase-highlighted"), (70, "06-confirmation"),
         (85, "07-pointer-on-yes"), (105, "08-erasing"), (125, "09-progress-closed"),
         (130, "10-document-gone")]
SPINNER = (305, 398, 15)


def masked(expected):
    """Drops the spinner's square from a reference, so that any spinner frame matches."""
    x, y, size = SPINNER
    rows = list(expected.rows)
    for r in range(y, y + size):
        rows[r] = tuple(p[:x] + p[x + size:] for p in rows[r])
    expected.rows = rows
    expected.spinner = True
    return expected


def shows(expected, shot, x, y):
    if not getattr(expected, "spinner", False):
        return expected.matches(shot, x, y)
    sx, sy, size = SPINNER
    width = g.PICTURE_W
    for i, planes in enumerate(expected.rows):
        got = shot.row(x, y + i, width)
        if sy <= i < sy + size:
            got = tuple(p[:sx] + p[sx + size:] for p in got)
        if got != planes:
            return False
    return True


def save_ppm(path, shot, x, y, w, h):
    rows = []
    for i in range(h):
        r, gr, b = shot.row(x, y + i, w)
        line = bytearray(w * 3)
        line[0::3], line[1::3], line[2::3] = r, gr, b
        rows.append(bytes(line))
    with open(path, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h) + b"".join(rows))


class Saved:
    """A recorded picture (PPM), read like a screenshot."""

    def __init__(self, path):
        self.width, self.height, _, self.rgb = g.read_netpbm(path)

    def row(self, x, y, width):
        start = (y * self.width + x) * 3
        span = self.rgb[start:start + width * 3]
        return span[0::3], span[1::3], span[2::3]


xvfb = g.Xvfb()
try:
    with WinePrefix("kor-demo") as wp:
        s = g.Session(exe, probe, preview, wp, xvfb, out)
        s.set_virtual_desktop()
        s.proc = subprocess.Popen([WINE, exe], env=s.env, cwd=wp.scratch,
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        while True:  # the window exists a moment before it is shown maximised
            f = s.wait_probe("window", ["window", g.TITLE], 60).split()
            if f[-1] == "1":
                break
            time.sleep(0.1)
        left, top, right, bottom = map(int, f[1:5])
        full_w, full_h = int(f[8]), int(f[9])
        ox, oy = (right - left - g.PICTURE_W) // 2, (bottom - top - g.PICTURE_H) // 2

        # Record first, look later: every picture that differs from the one
        # before, with the time it came. The first picture comes 0.2 s after
        # the window, so nothing may slow this loop down.
        frames = os.path.join(wp.root, "frames")
        os.makedirs(frames)
        margin = 40
        cx, cy = left + max(ox - margin, 0), top + max(oy - margin, 0)
        cw, ch = min(g.PICTURE_W + 2 * margin, right - cx), min(g.PICTURE_H + 2 * margin, bottom - cy)
        px, py = left + ox - cx, top + oy - cy  # the picture within the recorded area
        recorded, previous, changed = [], None, time.time()
        start = time.time()
        asked = answered = None
        while time.time() - start < 90:
            shot = s.shot()
            now = time.time()
            region = b"".join(b"".join(shot.row(cx, cy + i, cw)) for i in range(0, ch, 3))
            if region != previous:
                path = os.path.join(frames, "f%04d.ppm" % len(recorded))
                save_ppm(path, shot, cx, cy, cw, ch)
                recorded.append((now, path))
                previous, changed = region, now
            if asked is None and now - changed > 0.8:
                # The picture stands still: the end question may be open.
                rc, text = s.run_probe("msgbox", "Presentation")
                if rc == 0:
                    asked = True
                    s.shot().save_png(os.path.join(out, "11-end-question.png"))
                    for line in text.splitlines():
                        if line.startswith("button ") and line.endswith("&No"):
                            b = list(map(int, line.split()[1:5]))
                            s.click((b[0] + b[2]) // 2, (b[1] + b[3]) // 2)
                    answered = time.time()
            if answered and now - answered > 2:
                s.shot().save_png(os.path.join(out, "12-after-no.png"))
                break
            time.sleep(0.01)
        if s.proc.poll() is None:
            s.proc.kill()

        # Which recorded picture shows which step of the story: compared pixel
        # for pixel with the pictures the timeline composes off screen.
        refs = os.path.join(wp.root, "refs")
        os.makedirs(refs)
        subprocess.run([preview, refs, "--raw", "--brush", str(full_w), str(full_h), "--res", res],
                       check=True, stdout=subprocess.DEVNULL)
        brush = g.Brush(os.path.join(refs, "brush.ppm"))
        seen = set()
        for tick, name in STEPS:
            ref = g.frame_on_brush(name, os.path.join(refs, "frame-%04d.pam" % tick), brush, ox, oy)
            if 34 <= tick < 70:
                masked(ref)
            for _, path in recorded:
                if shows(ref, Saved(path), px, py):
                    seen.add(name)
                    subprocess.run(["convert", path, os.path.join(out, name + ".png")], check=True)
                    break

        # The whole run as a GIF, each picture for as long as it was on screen.
        args = []
        for i, (when, path) in enumerate(recorded):
            until = recorded[i + 1][0] if i + 1 < len(recorded) else when + 2
            args += ["-delay", str(max(2, round((until - when) * 100))), path]
        if args:
            subprocess.run(["convert", "-loop", "0"] + args + ["-layers", "Optimize",
                                                               os.path.join(out, "presentation.gif")], check=True)
        missing = [name for _, name in STEPS if name not in seen]
        print("%d pictures recorded; steps recognised: %d of %d%s" % (
            len(recorded), len(seen), len(STEPS), "; not caught: " + ", ".join(missing) if missing else ""))
finally:
    xvfb.stop()
EOF
echo "== presentation: screenshots and presentation.gif in $out"
ls "$out"

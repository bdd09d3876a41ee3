"""presentation.exe (the win64 build, or the shipped win32 one under 32-bit Wine)
under Xvfb and Wine, used as a user would.

usage: gui_test.py play|damaged PRESENTATION_EXE PROBE_EXE PREVIEW_EXE

play     the program as shipped: the common controls its manifest asks for,
         background, end question, the final picture, No, the close box, the
         menu, Restart, the timed story at normal speed, Yes and the timed
         slow-motion replay, and Exit
damaged  the program built with MBM 103 corrupt and MBM 107 and 121 missing:
         one error box for each of the two pictures, the plain backdrop
         colour as background, and the story played without those pictures

The program runs maximised in a 1280 x 1024 Wine desktop on an Xvfb display of
its own. Screenshots (xwd) are compared pixel for pixel with reference frames
that the timeline composes off screen (presentation_preview: the Linux build
beside this one when there is one, as in the shared build/ folder, else the
Windows build under the same Wine), placed where the window centres its
picture; presentation_probe reads
window positions and the message box's text from inside the Wine desktop.

Timing is never taken for granted: every check polls screenshots until what it
waits for shows, within generous limits. When a check fails, its screenshot is
kept in KOR_BUILD_DIR/presentation-gui-failures/ and named in the output.

The one timed check is the timer itself: from the story's first picture (tick
4 x factor) to the end question (tick 155 x factor) the script counts 151
ticks, 7.55 s of the 50 ms timer at normal speed and twice that in slow
motion. The story after Restart and the replay after Yes are both measured
(the first picture seen on screenshots, the question by a probe that watches
for it from inside the desktop) and held to bounds that a loaded machine
passes but a timer of 25 or 100 ms, or a replay that does not double, fails;
see check_story_times.
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

from checks import Checks
from wine import ARCH, WINE, WINESERVER, WinePrefix

TITLE = "Korvanel Ostrel Presentation"
QUESTION = "The presentation has ended. Replay it in the slow motion?"
PICTURE_W, PICTURE_H = 798, 600

# The script's clock, in ticks of the timer (times the slow-motion factor).
TICK_SECONDS = 0.05
FIRST_PICTURE_TICK = 4
LAYER_103_TICK = 30  # the first change of the scene after the first picture
QUESTION_TICK = 155
STORY_SECONDS = (QUESTION_TICK - FIRST_PICTURE_TICK) * TICK_SECONDS  # 7.55 s at normal speed

c = Checks()


def winpath(path):
    return "Z:" + os.path.abspath(path)


class Xvfb:
    """An X server on a display number it picks itself (-displayfd)."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.proc = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    c.stop("Xvfb", "did not start")
                number += chunk
        self.display = ":" + number.decode().strip()

    def stop(self):
        self.proc.terminate()
        try:
            self.proc.wait(10)
        except subprocess.TimeoutExpired:
            self.proc.kill()


class Shot:
    """A screenshot of the whole X screen, from xwd (32-bit ZPixmap)."""

    def __init__(self, display):
        raw = subprocess.run(["xwd", "-root", "-silent", "-display", display],
                             stdout=subprocess.PIPE, check=True, timeout=30).stdout
        head = struct.unpack(">25I", raw[:100])
        header_size, depth, self.width, self.height = head[0], head[3], head[4], head[5]
        byte_order, bits_per_pixel, self.stride = head[7], head[11], head[12]
        red_mask, green_mask, blue_mask, ncolors = head[14], head[15], head[16], head[19]
        if bits_per_pixel not in (24, 32) or depth != 24:
            c.stop("screenshot", f"depth {depth}, {bits_per_pixel} bits a pixel")
        self.size = bits_per_pixel // 8
        shift = {0xFF: 0, 0xFF00: 1, 0xFF0000: 2}
        if byte_order == 0:
            self.channel = [shift[red_mask], shift[green_mask], shift[blue_mask]]
        else:
            top = self.size - 1
            self.channel = [top - shift[red_mask], top - shift[green_mask], top - shift[blue_mask]]
        self.raw = raw
        self.data_at = header_size + 12 * ncolors

    def row(self, x, y, width):
        """Planes (R, G, B) of width pixels from (x, y)."""
        start = self.data_at + y * self.stride + x * self.size
        span = self.raw[start:start + width * self.size]
        return tuple(span[c::self.size] for c in self.channel)

    def pixel(self, x, y):
        return tuple(p[0] for p in self.row(x, y, 1))

    def save_png(self, path):
        with tempfile.NamedTemporaryFile(suffix=".xwd") as f:
            f.write(self.raw)
            f.flush()
            subprocess.run(["convert", "xwd:" + f.name, path], check=False, timeout=60)


class Expected:
    """What a screen rectangle should show, row by row as (R, G, B) planes."""

    def __init__(self, name, rows):
        self.name = name
        self.rows = rows

    def matches(self, shot, x, y):
        width = len(self.rows[0][0])
        for i, planes in enumerate(self.rows):
            if shot.row(x, y + i, width) != planes:
                return False
        return True

    def first_difference(self, shot, x, y):
        width = len(self.rows[0][0])
        for i, planes in enumerate(self.rows):
            got = shot.row(x, y + i, width)
            if got != planes:
                for j in range(width):
                    if tuple(p[j] for p in got) != tuple(p[j] for p in planes):
                        return (f"{self.name}: screen ({x + j}, {y + i}) shows "
                                f"{tuple(p[j] for p in got)}, expected {tuple(p[j] for p in planes)}")
        return None


def read_netpbm(path):
    """(width, height, channels, bytes) of a binary PPM (P6) or PAM (P7)."""
    data = open(path, "rb").read()
    if data.startswith(b"P7"):
        end = data.index(b"ENDHDR\n") + len(b"ENDHDR\n")
        fields = dict(line.split(b" ", 1) for line in data[3:end].split(b"\n") if b" " in line)
        return int(fields[b"WIDTH"]), int(fields[b"HEIGHT"]), int(fields[b"DEPTH"]), data[end:]
    parts = data.split(maxsplit=4)
    return int(parts[1]), int(parts[2]), 3, parts[4]


class Brush:
    """The window's background pattern, tiled from the client area's corner."""

    def __init__(self, path):
        self.width, self.height, _, self.rgb = read_netpbm(path)

    def planes(self, cx, cy, width):
        """(R, G, B) planes of width pixels from client point (cx, cy)."""
        row = (cy % self.height) * self.width * 3
        out = [bytearray(), bytearray(), bytearray()]
        x = cx
        while len(out[0]) < width:
            x %= self.width
            n = min(self.width - x, width - len(out[0]))
            span = self.rgb[row + x * 3: row + (x + n) * 3]
            for c in range(3):
                out[c] += span[c::3]
            x += n
        return tuple(bytes(p) for p in out)

    def expected(self, name, cx, cy, width, height):
        return Expected(name, [self.planes(cx, cy + i, width) for i in range(height)])


def frame_on_brush(name, pam_path, brush, ox, oy):
    """A reference frame as the window shows it at client offset (ox, oy):
    opaque pixels as they are, fully transparent ones showing the brush."""
    width, height, depth, rgba = read_netpbm(pam_path)
    assert depth == 4 and width == PICTURE_W and height == PICTURE_H
    rows = []
    for y in range(height):
        line = rgba[y * width * 4:(y + 1) * width * 4]
        planes = [bytearray(line[c::4]) for c in range(3)]
        alpha = line[3::4]
        if alpha.count(255) != width:
            under = brush.planes(ox, oy + y, width)
            for x, a in enumerate(alpha):
                if a != 255:
                    for c in range(3):
                        # AlphaBlend of premultiplied pixels; exact at 0 and 255.
                        planes[c][x] = (planes[c][x] * a + under[c][x] * (255 - a)) // 255
        rows.append(tuple(bytes(p) for p in planes))
    return Expected(name, rows)


class Session:
    def __init__(self, exe, probe, preview, wp, xvfb, failures):
        self.exe, self.probe, self.preview = exe, probe, preview
        self.wp, self.xvfb, self.failures = wp, xvfb, failures
        self.env = wp.env({"DISPLAY": xvfb.display})
        self.last = None
        self.proc = None

    def shot(self):
        self.last = Shot(self.xvfb.display)
        return self.last

    def kept(self, name):
        """Saves the last screenshot for a failure; says where."""
        if self.last is None:
            return ""
        os.makedirs(self.failures, exist_ok=True)
        path = os.path.join(self.failures, name + ".png")
        self.last.save_png(path)
        return f" (screenshot kept: {path})"

    def fail(self, name, message):
        """Stops the test after waiting in vain, keeping the screen as last seen."""
        c.stop(name, message + self.kept(name))

    def require(self, name, ok, message):
        """A check of what a probe or the screen shows: on failure the screen
        as it is now is kept, and the test stops."""
        if not ok:
            self.shot()
            message += self.kept(name)
        c.require(name, ok, message)

    def run_probe(self, *args):
        p = subprocess.run([WINE, self.probe] + list(args), env=self.env, stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL, timeout=60)
        return p.returncode, p.stdout.decode("latin-1").replace("\r", "")

    def wait_probe(self, name, args, limit):
        deadline = time.time() + limit
        while time.time() < deadline:
            rc, out = self.run_probe(*args)
            if rc == 0:
                return out
            time.sleep(0.3)
        self.shot()
        self.fail(name, f"probe {' '.join(args)} found nothing in {limit} s")

    def wait_shows(self, name, candidates, x, y, limit):
        """Polls screenshots until one of the candidates shows at (x, y)."""
        deadline = time.time() + limit
        while True:
            shot = self.shot()
            for candidate in candidates:
                if candidate.matches(shot, x, y):
                    return candidate
            if time.time() > deadline:
                detail = candidates[0].first_difference(shot, x, y)
                self.fail(name, f"not shown within {limit} s; {detail}")
            time.sleep(0.05)

    def read_box(self, name, caption, known=(), limit=60):
        """Waits until a message box with this caption, and a handle not in
        known, is shown; returns its handle, text and buttons (caption:
        screen rectangle). A box is found as soon as it has its caption, but
        until it is shown its buttons may still stand where the dialog
        template put them, outside the box: a click there is lost, and
        under load that moment lasts long enough to be read."""
        deadline = time.time() + limit
        while True:
            rc, out = self.run_probe("msgbox", caption)
            if rc == 0 and parse_fields(out, "handle") not in known and parse_fields(out, "visible") == "1":
                return parse_fields(out, "handle"), parse_fields(out, "text"), box_buttons(out)
            if time.time() > deadline:
                self.shot()
                self.fail(name, f"no {caption} box shown within {limit} s")
            time.sleep(0.3)

    def press_button(self, name, caption, handle, label):
        """Clicks the button labelled label of the shown box with that handle,
        where the box shows it now, and waits until the box has gone. A
        click that did not close it within 10 s is made again, and said."""
        deadline = time.time() + 60
        clicked = None
        while True:
            rc, out = self.run_probe("msgbox", caption)
            if rc != 0 or parse_fields(out, "handle") != handle:
                return
            if time.time() > deadline:
                self.shot()
                self.fail(name, f"the box stays open after clicking its button {label}")
            rect = box_buttons(out).get(label)
            if parse_fields(out, "visible") == "1" and rect and (clicked is None or time.time() > clicked + 10):
                if clicked is not None:
                    print(f"note: {name}: the box stayed open 10 s after the click; clicking again")
                self.click(*centre(rect))
                clicked = time.time()
            time.sleep(0.3)

    def click(self, x, y, button=1):
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", str(button)],
                       env=self.env, check=True, timeout=30)

    def set_virtual_desktop(self):
        # Every program of this prefix runs in one 1280 x 1024 Wine desktop,
        # which maximises windows as Windows does; the probe shares it.
        for key, value, data in (("HKCU\\Software\\Wine\\Explorer", "Desktop", "Default"),
                                 ("HKCU\\Software\\Wine\\Explorer\\Desktops", "Default", "1280x1024")):
            subprocess.run([WINE, "reg", "add", key, "/v", value, "/d", data, "/f"],
                           env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=120, check=True)
        subprocess.run([WINESERVER, "-k"], env=self.env, timeout=60, check=False)
        subprocess.run([WINESERVER, "-w"], env=self.env, timeout=60, check=False)


def parse_fields(text, key):
    for line in text.splitlines():
        if line.startswith(key + " "):
            return line[len(key) + 1:]
    return None


def box_buttons(text):
    """The buttons of the probe's msgbox answer: caption -> screen rectangle."""
    fields = [line.split(None, 5) for line in text.splitlines() if line.startswith("button ")]
    return {f[5]: tuple(map(int, f[1:5])) for f in fields if len(f) == 6}


class PlainBrush(Brush):
    """The fallback background: the backdrop colour everywhere."""

    def __init__(self, rgb):
        self.width, self.height, self.rgb = 1, 1, bytes(rgb)


BACKDROP = (127, 255, 127)
LOAD_ERROR = "Error loading resource or decompressing mbm"


def start(s):
    s.set_virtual_desktop()
    s.proc = subprocess.Popen([WINE, s.exe], env=s.env, cwd=s.wp.scratch,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def window_geometry(s):
    """(left, top, right, bottom) of the client area on screen, and the
    full-screen size the background brush is made for. The window exists
    before it is shown, so this waits until it is visible and its geometry
    has held still for a moment."""
    deadline = time.time() + 60
    previous = None
    while True:
        out = s.wait_probe("window", ["window", TITLE], 60).split()
        if out[-1] == "1" and out[:-1] == previous:
            break
        previous = out[:-1] if out[-1] == "1" else None
        if time.time() > deadline:
            s.shot()
            s.fail("window-shown", f"window not shown steadily within 60 s: {' '.join(out)}")
        time.sleep(0.5)
    left, top, right, bottom = map(int, out[1:5])
    maximised, full_w, full_h = int(out[6]), int(out[8]), int(out[9])
    print(f"client area {right - left} x {bottom - top} at ({left}, {top}); brush {full_w} x {full_h}")
    s.require("maximised", maximised, f"window not maximised: {' '.join(out)}")
    s.require("client", right - left >= PICTURE_W and bottom - top >= PICTURE_H,
              f"client area {right - left} x {bottom - top} smaller than the picture")
    return (left, top, right, bottom), (full_w, full_h)


def caption_close_ink(shot, client):
    """The glyph of the window's close button as a set of (x, y) ink pixels,
    or None when no button was found. A caption button is a block of the
    face colour (the commonest neutral light grey of the title bar above the
    client area) of button size, 10 to 40 pixels each way; the close button
    is the rightmost. Its ink is every pixel inside the block clearly darker
    than the face."""
    left, top, right, _ = client
    x0, y0 = max(0, right - 120), max(0, top - 40)
    width, height = min(right, shot.width) - x0, top - y0
    if width <= 0 or height <= 0:
        return None
    grey = []
    counts = {}
    for j in range(height):
        r, g, b = shot.row(x0, y0 + j, width)
        line = [(r[i] + g[i] + b[i]) // 3 if r[i] == g[i] == b[i] else -1 for i in range(width)]
        for v in line:
            if v >= 192:
                counts[v] = counts.get(v, 0) + 1
        grey.append(line)
    if not counts:
        return None
    face = max(counts, key=counts.get)
    seen = set()
    best = None
    for j in range(height):
        for i in range(width):
            if grey[j][i] != face or (i, j) in seen:
                continue
            block, todo = [], [(i, j)]
            seen.add((i, j))
            while todo:
                x, y = todo.pop()
                block.append((x, y))
                for n in ((x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)):
                    if 0 <= n[0] < width and 0 <= n[1] < height and n not in seen \
                            and grey[n[1]][n[0]] == face:
                        seen.add(n)
                        todo.append(n)
            bx0, bx1 = min(x for x, _ in block), max(x for x, _ in block)
            by0, by1 = min(y for _, y in block), max(y for _, y in block)
            if 10 <= bx1 - bx0 + 1 <= 40 and 10 <= by1 - by0 + 1 <= 40 and (best is None or bx1 > best[2]):
                best = (bx0, by0, bx1, by1)
    if best is None:
        return None
    bx0, by0, bx1, by1 = best
    return {(x, y) for y in range(by0, by1 + 1) for x in range(bx0, bx1 + 1)
            if 0 <= grey[y][x] < face - 80 or (grey[y][x] < 0 and sum(shot.pixel(x0 + x, y0 + y)) < 3 * (face - 80))}


def glyph_problem(ink):
    """None when the ink is the close button's X, else what is wrong. An X
    is symmetric about its box's vertical and horizontal middle lines, lies
    on both diagonals of its box and leaves the middle of its sides open; the
    letter r that Wine draws without
    its symbol font is none of these."""
    if ink is None or len(ink) < 6:
        return "no close button glyph found in the title bar"
    xs = [x for x, _ in ink]
    ys = [y for _, y in ink]
    x0, y0, x1, y1 = min(xs), min(ys), max(xs), max(ys)
    mirrored_lr = sum((x0 + x1 - x, y) in ink for x, y in ink) / len(ink)
    mirrored_tb = sum((x, y0 + y1 - y) in ink for x, y in ink) / len(ink)
    steps = max(x1 - x0, y1 - y0, 1)

    def on_diagonal(flip):
        hits = 0
        for k in range(steps + 1):
            x = x0 + round(k * (x1 - x0) / steps)
            y = y0 + round(k * (y1 - y0) / steps)
            if flip:
                y = y0 + y1 - y
            hits += any((x + dx, y + dy) in ink for dx in (-1, 0, 1) for dy in (-1, 0, 1))
        return hits / (steps + 1)

    # An X leaves the middle of each side of its box open; a bar or a block does not.
    open_sides = ((x0 + x1) // 2, y0) not in ink and (x0, (y0 + y1) // 2) not in ink
    if mirrored_lr < 0.8 or mirrored_tb < 0.8 or on_diagonal(False) < 0.9 or on_diagonal(True) < 0.9 \
            or not open_sides:
        return (f"the close button shows no X (a letter, as Wine draws it without the Marlett font?): "
                f"{len(ink)} ink pixels in {x1 - x0 + 1} x {y1 - y0 + 1}, mirrored left-right "
                f"{mirrored_lr:.0%}, top-bottom {mirrored_tb:.0%}")
    return None


def check_caption_glyph(s, client):
    """The title bar's close button is drawn as Windows draws it: an X glyph."""
    problem = glyph_problem(caption_close_ink(s.shot(), client))
    s.require("caption-glyph", problem is None, problem)
    print("close button drawn as an X glyph")


def check_common_controls(s):
    """The program's manifest, of its own architecture, brought the common
    controls 6 of that architecture (x86 in a win32 prefix, amd64 in a win64
    one); a missing or mismatched manifest leaves the system's version 5, or
    stops the program from starting."""
    rc, out = s.run_probe("modules", TITLE)
    paths = [line[len("module "):] for line in out.splitlines() if line.startswith("module ")]
    comctl = [p for p in paths if p.lower().endswith("\\comctl32.dll")]
    arch = "x86" if ARCH == "win32" else "amd64"
    want = f"\\winsxs\\{arch}_microsoft.windows.common-controls_6595b64144ccf1df_6.0."
    s.require("common-controls", rc == 0 and len(comctl) == 1 and want in comctl[0].lower(),
              f"common controls loaded: {comctl or paths}; expected one from {want}")
    print("common controls from the manifest:", comctl[0])


def make_references(s, refs, full_size, without=(), speed=1):
    """Reference frames and brush, composed off screen by the program's own
    timeline (in slow motion with speed 2); returns the ticks that repaint."""
    res = os.path.join(os.environ["KOR_SOURCE_DIR"], "presentation", "res")
    args = ["--raw", "--brush", str(full_size[0]), str(full_size[1]), "--speed", str(speed)]
    for picture in without:
        args += ["--without", str(picture)]
    args += ["--res"]
    native = os.path.join(os.path.dirname(os.path.abspath(os.environ.get("KOR_BUILD_DIR", "."))),
                          "native", "tools", "preview", "presentation_preview")
    if os.access(native, os.X_OK):
        print("reference frames from", native)
        p = subprocess.run([native, refs] + args + [res], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
        rc, detail = p.returncode, p.stdout
    else:
        print("reference frames from", s.preview, "under Wine")
        r = s.wp.run(s.preview, [winpath(refs)] + args + [winpath(res)], timeout=300,
                     env={"DISPLAY": s.xvfb.display})
        rc, detail = r.rc, r
    c.require("preview", rc == 0, f"failed: {detail}")
    return [int(line.split()[0]) for line in open(os.path.join(refs, "frames.txt")) if not line.startswith("end")]


def check_background(s, client, brush):
    left, top, right, bottom = client
    ox, oy = (right - left - PICTURE_W) // 2, (bottom - top - PICTURE_H) // 2
    if ox > 0:
        s.wait_shows("background-left", [brush.expected("background left of the picture", 0, 0, ox, bottom - top)],
                     left, top, 30)
    if oy > 0:
        s.wait_shows("background-top", [brush.expected("background above the picture", ox, 0, PICTURE_W, oy)],
                     left + ox, top, 30)


def read_end_question(s):
    """Waits for the end question to be shown and checks it; returns its
    handle and its buttons' screen rectangles by caption."""
    handle, text, buttons = s.read_box("question", "Presentation", limit=120)
    s.require("question-text", text == QUESTION, f"the end question reads {text!r}")
    s.require("question-buttons", set(buttons) == {"&Yes", "&No"}, f"the end question offers {sorted(buttons)}")
    print("end question asked:", text)
    return handle, buttons


def answer_end_question_no(s):
    """Waits for the end question, checks it, and answers No."""
    handle, _ = read_end_question(s)
    s.press_button("question-no", "Presentation", handle, "&No")


def centre(rect):
    return (rect[0] + rect[2]) // 2, (rect[1] + rect[3]) // 2


def wait_story_start(s, name, start_frames, factor, start, at, repeat=None):
    """Calls start() (the click that starts the story), then polls screenshots
    until one of start_frames, (tick, Expected) pairs covering the story from
    its first picture up to layer 103, shows at `at`. Returns the moment
    (time.monotonic) its first picture came: when the screenshot was taken,
    less the script's time from the first picture to the frame seen if that
    was a later one. repeat(): asked after 5 s without a frame whether to
    click again (a click can come before the target takes input)."""
    start()
    clicked = time.monotonic()
    deadline = clicked + 60
    while True:
        before = time.monotonic()
        shot = s.shot()
        taken = (before + time.monotonic()) / 2
        for tick, expected in start_frames:
            if expected.matches(shot, *at):
                late = (tick - FIRST_PICTURE_TICK * factor) * TICK_SECONDS
                print(f"{name}: the story starts; first seen {expected.name}"
                      + (f", {late:.2f} s after the first picture by the script" if late else ""))
                return taken - late
        now = time.monotonic()
        if now > deadline:
            s.fail(name, "the story's first pictures not shown within 60 s; "
                         f"{start_frames[0][1].first_difference(shot, *at)}")
        if repeat and now - clicked > 5:
            if repeat():
                start()
            clicked = time.monotonic()


def time_to_question(s, name, since, limit=120):
    """Seconds from `since` (time.monotonic) until the end question exists,
    as seen by a probe that looks for it every 10 ms."""
    p = subprocess.Popen([WINE, s.probe, "waitmsgbox", "Presentation", str(limit)], env=s.env,
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        line = p.stdout.readline()
        came = time.monotonic()
        p.communicate(timeout=60)
    finally:
        if p.poll() is None:
            p.kill()
            p.wait()
    s.require(name, line.strip() == b"found", f"no end question within {limit} s of the first picture")
    return came - since


def check_story_times(s, normal, slow):
    """The 50 ms timer and the doubled replay, from the two measured stories
    (first picture to end question; 7.55 s and 15.1 s by the script).
    Load only ever delays timer messages, and the detection of the picture
    and of the question by about a poll each, so the bounds are lopsided:
    - normal speed at least 0.75 x 7.55 s (5.7 s): a 25 ms timer gives
      3.8 s. At most 1.8 x (13.6 s), room for a machine that stretches
      every tick by 80 %, yet well below what a 100 ms timer gives (about
      15.1 s and never much less, as timers never come early).
    - slow / normal within 1.5 to 2.6: the script makes it 2; a replay at
      normal speed gives 1, one at three times 3. The two runs are measured
      alike, so a steady load cancels; the room is for a load that changes
      between them (the replay also draws twice as many ticks); and the
      replay at least 0.75 x 15.1 s, which load cannot break."""
    ratio = slow / normal
    print(f"first picture to end question: {normal:.2f} s at normal speed, {slow:.2f} s in slow motion "
          f"(script: {STORY_SECONDS:.2f} s and {2 * STORY_SECONDS:.2f} s); ratio {ratio:.2f}")
    c.require("timer-period", 0.75 * STORY_SECONDS <= normal <= 1.8 * STORY_SECONDS,
              f"the story took {normal:.2f} s from first picture to end question; {STORY_SECONDS:.2f} s "
              f"with the 50 ms timer, and at most {1.8 * STORY_SECONDS:.1f} s under load")
    c.require("replay-slow", slow >= 0.75 * 2 * STORY_SECONDS,
              f"the slow-motion replay took {slow:.2f} s; every step at twice its tick makes it "
              f"{2 * STORY_SECONDS:.2f} s, and load never makes it shorter")
    c.require("replay-slow", 1.5 <= ratio <= 2.6,
              f"the slow-motion replay took {ratio:.2f} times as long as the story at normal speed, not about 2")


def open_menu(s, at):
    """Right click at `at`; returns the menu's screen rectangle."""
    s.click(*at, button=3)
    out = s.wait_probe("menu", ["menu"], 20)
    menu = tuple(map(int, out.split()[1:5]))
    s.require("menu-position", abs(menu[0] - at[0]) <= 2 and abs(menu[1] - at[1]) <= 2,
              f"menu at {menu}, the mouse at {at}")
    return menu


def exit_from_menu(s, at):
    menu = open_menu(s, at)
    s.click((menu[0] + menu[2]) // 2, menu[3] - (menu[3] - menu[1]) // 4)
    try:
        rc = s.proc.wait(30)
    except subprocess.TimeoutExpired:
        s.shot()
        s.fail("exit", "still running 30 s after Exit")
    s.require("exit-code", rc == 0, f"exit code {rc} after Exit")
    print("Exit ends the program with exit code 0")


def play(s, refs):
    start(s)
    client, full_size = window_geometry(s)
    check_common_controls(s)
    check_caption_glyph(s, client)
    left, top, right, bottom = client
    ticks = make_references(s, refs, full_size)
    brush = Brush(os.path.join(refs, "brush.ppm"))
    ox, oy = (right - left - PICTURE_W) // 2, (bottom - top - PICTURE_H) // 2

    def reference(tick, folder=refs, speed=""):
        return frame_on_brush(f"frame of tick {tick}{speed}", os.path.join(folder, f"frame-{tick:04d}.pam"),
                              brush, ox, oy)

    # Maximised, on the gradient background.
    check_background(s, client, brush)

    # The end question; No keeps the last picture, centred and equal to the
    # composed final frame.
    answer_end_question_no(s)
    final = reference(max(ticks))
    s.wait_shows("final-picture", [final], left + ox, top + oy, 30)
    time.sleep(1.5)
    s.wait_shows("final-picture-stays", [final], left + ox, top + oy, 5)
    s.require("question-once", s.run_probe("msgbox", "Presentation")[0] != 0, "the end question is open again after No")
    print("final picture shown and kept after No")

    # A click on the simulated window's close box leaves only the background.
    s.click(left + ox + 768, top + oy + 9)
    s.wait_shows("close-box", [brush.expected("background where the picture was", ox, oy, PICTURE_W, PICTURE_H)],
                 left + ox, top + oy, 30)
    print("close box hides the picture")

    # The first frames of the story at both speeds: from the first picture up
    # to layer 103 one of them is always on screen (1.3 s at normal speed).
    slow_refs = os.path.join(refs, "slow")
    os.makedirs(slow_refs)
    slow_ticks = make_references(s, slow_refs, full_size, speed=2)
    story = (left + ox, top + oy)
    normal_start = [(t, reference(t)) for t in ticks
                    if FIRST_PICTURE_TICK <= t < LAYER_103_TICK]
    slow_start = [(t, reference(t, slow_refs, " in slow motion")) for t in slow_ticks
                  if 2 * FIRST_PICTURE_TICK <= t < 2 * LAYER_103_TICK]
    shutil.rmtree(slow_refs)

    # A right click opens the menu at the mouse; Restart plays from the start,
    # timed from the first picture to the end question.
    at = (left + 120, top + 90)
    menu = open_menu(s, at)
    restart = ((menu[0] + menu[2]) // 2, menu[1] + (menu[3] - menu[1]) // 4)
    first = wait_story_start(s, "restart", normal_start, 1, lambda: s.click(*restart), story)
    normal = time_to_question(s, "question-after-restart", first)

    # Yes replays the story in slow motion, from its first picture to the
    # final picture and the end question once more.
    handle, buttons = read_end_question(s)

    def box_still_open():
        rc, out = s.run_probe("msgbox", "Presentation")
        return rc == 0 and parse_fields(out, "handle") == handle

    first = wait_story_start(s, "replay", slow_start, 2, lambda: s.click(*centre(buttons["&Yes"])), story,
                             repeat=box_still_open)
    slow = time_to_question(s, "question-after-replay", first)
    check_story_times(s, normal, slow)
    answer_end_question_no(s)
    s.wait_shows("replay-final-picture", [final], *story, 30)
    print("the replay ends on the final picture and asks again")

    exit_from_menu(s, at)


def damaged(s, refs):
    start(s)
    # One error box per picture that fails, before the window shows.
    handles = []
    for n in (1, 2):
        handle, text, buttons = s.read_box(f"load-error-{n}", "Error", known=handles)
        handles.append(handle)
        s.require("load-error-text", text == LOAD_ERROR, f"error box {n} reads {text!r}")
        s.require("load-error-buttons", len(buttons) == 1, f"error box {n} has buttons {buttons}")
        s.press_button("load-error-ok", "Error", handle, next(iter(buttons)))
    print("two load errors reported:", LOAD_ERROR)

    client, full_size = window_geometry(s)
    rc, out = s.run_probe("msgbox", "Error")
    s.require("load-error-third", rc != 0 or parse_fields(out, "handle") in handles, "a third error box came")
    left, top, right, bottom = client
    ox, oy = (right - left - PICTURE_W) // 2, (bottom - top - PICTURE_H) // 2

    # Without its background picture the window is filled with the backdrop colour.
    plain = PlainBrush(BACKDROP)
    check_background(s, client, plain)
    print("plain backdrop colour as background")

    # The story plays without the two pictures.
    ticks = make_references(s, refs, full_size, without=(103, 107))
    answer_end_question_no(s)
    final = frame_on_brush("final frame without layers 103 and 107",
                           os.path.join(refs, f"frame-{max(ticks):04d}.pam"), plain, ox, oy)
    s.wait_shows("final-picture", [final], left + ox, top + oy, 30)
    print("final picture shown, without the damaged layers")

    exit_from_menu(s, (left + 120, top + 90))


def main():
    mode, exe, probe, preview = sys.argv[1:5]
    failures = os.path.join(os.environ.get("KOR_BUILD_DIR", tempfile.gettempdir()), "presentation-gui-failures", mode)
    xvfb = Xvfb()
    try:
        with WinePrefix("kor-gui") as wp:
            s = Session(exe, probe, preview, wp, xvfb, failures)
            refs = os.path.join(wp.root, "refs")
            os.makedirs(refs)
            try:
                {"play": play, "damaged": damaged}[mode](s, refs)
            finally:
                if s.proc and s.proc.poll() is None:
                    s.proc.kill()
    finally:
        xvfb.stop()
    c.done()


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Drives the Linux stub TheExe.run as a user would: builds slideshow files around it, plays
them on a virtual X server, looks at screenshots and presses keys.

    viewer_test.py play|auto|damaged|hostile|options|libraries TheExe.run WORK_FOLDER

Needs only the standard library plus cjpeg and djpeg, Xvfb (through xvfb-run), ImageMagick's
import and xdotool. Exits 77 (skipped) when the X tools are missing.
"""

import os
import re
import shutil
import struct
import subprocess
import sys
import time

SKIP = 77
SCREEN_W, SCREEN_H = 1024, 768
BLACK, RED, BLUE, GREEN = (0, 0, 0), (255, 0, 0), (0, 0, 255), (0, 200, 0)
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


# --- slideshow files -----------------------------------------------------------------------

def make_jpeg(path, width, height, colour_at):
    """A baseline JPEG through cjpeg from a PPM drawn pixel by pixel."""
    rows = bytearray()
    for y in range(height):
        for x in range(width):
            rows += bytes(colour_at(x, y))
    ppm = path + ".ppm"
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (width, height) + rows)
    subprocess.run(["cjpeg", "-quality", "95", "-outfile", path, ppm], check=True)
    os.remove(ppm)
    with open(path, "rb") as f:
        return f.read()


def trailer(stub_length, automatic, delay, lengths):
    # Written independently of the C++ writer: a second reading of the same layout.
    return (struct.pack("<IBH", stub_length, 1 if automatic else 0, delay)
            + b"".join(struct.pack("<I", n) for n in lengths)
            + struct.pack("<I", len(lengths)) + b"WAGON")


def build_slideshow(viewer, path, pictures, automatic=False, delay=10):
    with open(viewer, "rb") as f:
        stub = f.read()
    with open(path, "wb") as f:
        f.write(stub + b"".join(pictures)
                + trailer(len(stub), automatic, delay, [len(p) for p in pictures]))
    os.chmod(path, 0o755)
    return path


def with_play_options(jpeg, shuffle=False, stop_at_end=False, crossfade_ms=0, caption=""):
    """The JPEG with a play-options segment after its JFIF header, written from the layout
    rather than through the C++ writer: a second reading of the same segment."""
    text = caption.encode("utf-8")
    payload = (b"PelistoPlay\0" + bytes([1, (1 if shuffle else 0) | (2 if stop_at_end else 0)])
               + struct.pack(">HH", crossfade_ms, len(text)) + text)
    segment = b"\xff\xeb" + struct.pack(">H", 2 + len(payload)) + payload
    at = 2
    if jpeg[2:4] == b"\xff\xe0":
        at = 4 + struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[:at] + segment + jpeg[at:]


def pictures(work):
    # A: 800 x 1000, red above blue; fitted on 1024 x 768 it is 614 x 768 at (205, 0).
    a = make_jpeg(os.path.join(work, "a.jpg"), 800, 1000,
                  lambda x, y: RED if y < 500 else BLUE)
    # B: 200 x 100 green, smaller than the screen: natural size, centred at (412, 334).
    b = make_jpeg(os.path.join(work, "b.jpg"), 200, 100, lambda x, y: GREEN)
    return a, b


# --- the screen ----------------------------------------------------------------------------

def screenshot(work):
    path = os.path.join(work, "screen.ppm")
    subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:" + path], check=True,
                   stderr=subprocess.DEVNULL)
    with open(path, "rb") as f:
        data = f.read()
    # P6 header: magic, width, height, maxval, one whitespace byte.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    shutil.copy(path, os.path.join(work, "last-screen.ppm"))
    return lambda x, y: tuple(pixels[(y * width + x) * 3:(y * width + x) * 3 + 3])


def near(c, want, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(c, want))


def wait_for(work, expectations, timeout=15.0):
    """Screenshots until every (x, y, colour) holds; returns the last failing pixel or None."""
    deadline = time.monotonic() + timeout
    while True:
        px = screenshot(work)
        wrong = [(x, y, want, px(x, y)) for x, y, want in expectations if not near(px(x, y), want)]
        if not wrong or time.monotonic() > deadline:
            return wrong[0] if wrong else None
        time.sleep(0.1)


def expect_screen(work, what, expectations, timeout=15.0):
    wrong = wait_for(work, expectations, timeout)
    check(wrong is None, what + ("" if wrong is None else
                                 " (pixel %d,%d is %s, want %s)" % (wrong[0], wrong[1], wrong[3], wrong[2])))


SHOWS_A = [(100, 384, BLACK), (920, 384, BLACK), (204, 100, BLACK), (819, 700, BLACK),
           (205, 100, RED), (512, 0, RED), (512, 370, RED), (512, 400, BLUE),
           (818, 767, BLUE)]


def shows_b(width, height):
    left, top = (SCREEN_W - width) // 2, (SCREEN_H - height) // 2
    return [(left, top, GREEN), (left + width - 1, top + height - 1, GREEN),
            (left - 1, SCREEN_H // 2, BLACK), (left + width, SCREEN_H // 2, BLACK),
            (SCREEN_W // 2, top - 1, BLACK), (SCREEN_W // 2, top + height, BLACK)]


def key(name):
    subprocess.run(["xdotool", "key", name], check=True)


def start(path):
    return subprocess.Popen([path], stderr=subprocess.PIPE, text=True)


def finish(proc, what):
    try:
        rc = proc.wait(timeout=10)
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = proc.wait()
    err = proc.stderr.read()
    check(rc == 0, "%s: exits 0 (got %s%s)" % (what, rc, ", " + err.strip() if err.strip() else ""))


# --- the cases -----------------------------------------------------------------------------

def play(viewer, work):
    a, b = pictures(work)
    show = build_slideshow(viewer, os.path.join(work, "show.exe"), [a, b])
    proc = start(show)
    expect_screen(work, "first picture fitted to 614x768 at 205,0 on black", SHOWS_A)
    key("space")
    expect_screen(work, "Space shows the small picture at its natural size, centred",
                  shows_b(200, 100))
    key("KP_Add")
    expect_screen(work, "keypad + widens it by 100", shows_b(300, 150))
    key("KP_Subtract")
    key("KP_Subtract")
    expect_screen(work, "keypad - twice narrows it to 100", shows_b(100, 50))
    # Keys are handled in order, so the size after a further step tells what the first did.
    key("KP_Subtract")
    key("KP_Add")
    expect_screen(work, "keypad - stops at 100 pixels", shows_b(200, 100))
    key("KP_Add")
    key("KP_Multiply")
    expect_screen(work, "keypad * fits it again", shows_b(200, 100))
    key("plus")  # laptops have no keypad: the main keyboard's + and - zoom too
    expect_screen(work, "the main keyboard's + widens it by 100", shows_b(300, 150))
    key("minus")
    expect_screen(work, "the main keyboard's - narrows it by 100", shows_b(200, 100))
    # Laptop stepping keys: arrows, Page Up / Page Down, a left click.
    for name, shows, what in (("Right", SHOWS_A, "Right"), ("Left", shows_b(200, 100), "Left"),
                              ("Next", SHOWS_A, "Page Down"), ("Prior", shows_b(200, 100),
                                                               "Page Up")):
        key(name)
        expect_screen(work, what + " steps like Space or Backspace", shows)
    subprocess.run(["xdotool", "mousemove", "600", "400", "click", "1"], check=True)
    expect_screen(work, "a left click steps forward", SHOWS_A)
    key("space")
    key("BackSpace")
    expect_screen(work, "Backspace goes back to the first picture", SHOWS_A)
    key("BackSpace")
    expect_screen(work, "Backspace on the first wraps to the last", shows_b(200, 100))
    key("space")
    expect_screen(work, "Space on the last wraps to the first", SHOWS_A)
    key("Escape")
    finish(proc, "Escape")

    # Three pictures, so the one decoded ahead and the one kept behind differ: keys in a burst,
    # meeting decodes half done, must still land where they count to.
    c = make_jpeg(os.path.join(work, "c.jpg"), 1024, 768, lambda x, y: BLUE)
    shows_c = [(0, 0, BLUE), (1023, 767, BLUE), (512, 384, BLUE)]
    proc = start(build_slideshow(viewer, os.path.join(work, "three.exe"), [a, b, c]))
    expect_screen(work, "three pictures: the first", SHOWS_A)
    subprocess.run(["xdotool", "key", "space", "space", "BackSpace", "space", "space"], check=True)
    expect_screen(work, "Space Space Backspace Space Space in a burst: round to the first",
                  SHOWS_A)
    subprocess.run(["xdotool", "key", "BackSpace", "BackSpace"], check=True)
    expect_screen(work, "Backspace twice: the second", shows_b(200, 100))
    time.sleep(0.5)  # the third decodes ahead meanwhile
    key("space")
    expect_screen(work, "Space: the third, decoded ahead", shows_c)
    key("BackSpace")
    expect_screen(work, "Backspace: the second, kept", shows_b(200, 100))
    key("Escape")
    finish(proc, "Escape after the burst")


def auto(viewer, work):
    a, b = pictures(work)
    show = build_slideshow(viewer, os.path.join(work, "auto.exe"), [a, b], automatic=True,
                           delay=1)
    proc = start(show)
    expect_screen(work, "automatic: first picture", SHOWS_A)
    expect_screen(work, "automatic: advances to the second by itself", shows_b(200, 100))
    expect_screen(work, "automatic: and wraps to the first", SHOWS_A)
    key("Escape")
    finish(proc, "Escape during the automatic show")

    # A step by hand restarts the period: 2 s into a 3 s period, Space shows the second, which
    # stays past the moment the old period would have ended until a whole period is over.
    proc = start(build_slideshow(viewer, os.path.join(work, "auto3.exe"), [a, b],
                                 automatic=True, delay=3))
    expect_screen(work, "automatic every 3 s: first picture", SHOWS_A)
    time.sleep(2.0)
    pressed = time.monotonic()
    key("space")
    expect_screen(work, "Space steps by hand", shows_b(200, 100))
    time.sleep(max(0.0, pressed + 2.0 - time.monotonic()))
    check(wait_for(work, shows_b(200, 100), timeout=0) is None,
          "the picture stepped to by hand is not cut short")
    expect_screen(work, "and the advance comes a whole period after the step", SHOWS_A)
    key("Escape")
    finish(proc, "Escape after a step by hand")


def solid(work, name, colour):
    return make_jpeg(os.path.join(work, name + ".jpg"), SCREEN_W, SCREEN_H, lambda x, y: colour)


def colour_shown(work):
    return screenshot(work)(SCREEN_W // 2, SCREEN_H // 3)


def options(viewer, work):
    """The play options the first picture's segment carries; the files are read by their
    trailer alone, as any slideshow."""
    # Four solid pictures: which one is up tells the order.
    colours = {"red": RED, "blue": BLUE, "green": GREEN, "grey": (128, 128, 128)}
    solids = {name: solid(work, name, c) for name, c in colours.items()}

    def named(c):
        return next((n for n, want in colours.items() if near(c, want)), None)

    def wait_change(before, timeout=10.0):
        deadline = time.monotonic() + timeout
        while True:
            name = named(colour_shown(work))
            if (name is not None and name != before) or time.monotonic() > deadline:
                return name
            time.sleep(0.05)

    proc = start(build_slideshow(viewer, os.path.join(work, "shuffle.exe"),
                                 [with_play_options(p, shuffle=True) for p in solids.values()]))
    seen = [wait_change(None)]
    for _ in range(7):
        key("space")
        seen.append(wait_change(seen[-1]))
    check(sorted(seen[:4]) == sorted(colours) and sorted(seen[4:]) == sorted(colours),
          "shuffle: every picture once in each round of four (%s)" % seen)
    key("BackSpace")
    back = wait_change(seen[-1])
    check(back == seen[-2], "shuffle: Backspace goes back to the picture shown before (%s)" % back)
    key("Escape")
    finish(proc, "Escape in a shuffled show")

    # Stopping at the end: the automatic advance ends on the last picture, which stays until
    # a key asks for the next one; that key ends the show.
    red, blue = solids["red"], solids["blue"]
    proc = start(build_slideshow(viewer, os.path.join(work, "stop.exe"),
                                 [with_play_options(p, stop_at_end=True) for p in (red, blue)],
                                 automatic=True, delay=1))
    expect_screen(work, "stop at the end: the first picture", [(512, 384, RED)])
    expect_screen(work, "stop at the end: advances to the last", [(512, 384, BLUE)])
    time.sleep(2.5)
    check(proc.poll() is None and near(colour_shown(work), BLUE),
          "stop at the end: the last picture stays past two more periods")
    key("BackSpace")
    expect_screen(work, "stop at the end: Backspace still steps back", [(512, 384, RED)])
    key("space")
    expect_screen(work, "stop at the end: Space steps on", [(512, 384, BLUE)])
    key("space")
    finish(proc, "stop at the end: Space on the last picture ends the show")

    # A long crossfade, caught half way: every pixel a mix of both pictures.
    proc = start(build_slideshow(viewer, os.path.join(work, "fade.exe"),
                                 [with_play_options(p, crossfade_ms=4000) for p in (red, blue)]))
    expect_screen(work, "crossfade: the first picture", [(512, 384, RED)])
    key("space")
    time.sleep(2.0)
    px = screenshot(work)
    shutil.copy(os.path.join(work, "screen.ppm"), os.path.join(work, "mid-fade.ppm"))
    mixed = [px(x, y) for x, y in ((0, 0), (512, 384), (1023, 767))]
    check(all(50 <= r <= 205 and 50 <= b <= 205 and r + b > 200 and r + b < 310
              for r, _, b in mixed), "crossfade: half way, red and blue mixed (%s)" % mixed)
    key("KP_Multiply")  # any key finishes the fade at once, long before its 4 s are over
    expect_screen(work, "crossfade: a key finishes it at once", [(512, 384, BLUE)],
                  timeout=1.0)
    key("Escape")
    finish(proc, "Escape after a crossfade")

    # Captions: a dark band at the foot, light text in it, cut to the screen's width.
    grey = solids["grey"]
    long_caption = "Lake shore at dusk, " * 20
    proc = start(build_slideshow(viewer, os.path.join(work, "caption.exe"), [
        with_play_options(grey, caption="Lake shore at dusk"),
        with_play_options(grey, caption=long_caption), grey]))
    for what in ("a short caption", "a long caption"):
        expect_screen(work, what + ": the picture", [(512, 384, (128, 128, 128))])
        time.sleep(0.3)
        px = screenshot(work)
        shutil.copy(os.path.join(work, "screen.ppm"),
                    os.path.join(work, what.replace(" ", "-") + ".ppm"))
        band = [y for y in range(SCREEN_H - 1, SCREEN_H // 2, -1) if px(2, y)[0] < 90]
        light = [(x, y) for y in band for x in range(SCREEN_W) if min(px(x, y)) > 200]
        xs = [x for x, _ in light]
        check(20 <= len(band) <= 120 and band[0] == SCREEN_H - 1,
              "%s: a dark band at the foot (%d rows)" % (what, len(band)))
        check(len(light) > 50 and min(xs) > 8 and max(xs) < SCREEN_W - 8,
              "%s: light text in the band, within the screen (%d pixels, x %s..%s)"
              % (what, len(light), min(xs, default=None), max(xs, default=None)))
        check(near(px(512, SCREEN_H // 3), (128, 128, 128)), what + ": the picture above it")
        key("space")
    expect_screen(work, "no caption: the picture down to the foot", [(2, 767, (128, 128, 128))])
    key("Escape")
    finish(proc, "Escape after captions")


def run_viewer(path, env=None):
    proc = subprocess.run([path], capture_output=True, text=True, timeout=20, env=env)
    return proc.returncode, proc.stderr.strip()


def damaged(viewer, work):
    a, b = pictures(work)
    no_display = {k: v for k, v in os.environ.items() if k != "DISPLAY"}

    bare = os.path.join(work, "bare.exe")
    shutil.copy(viewer, bare)
    rc, err = run_viewer(bare, no_display)
    check(rc == 1 and "WAGON" in err, "the bare viewer says it holds no slideshow (%s: %s)" % (rc, err))

    good = build_slideshow(viewer, os.path.join(work, "good.exe"), [a, b])
    with open(good, "rb") as f:
        data = f.read()
    cut = os.path.join(work, "cut.exe")
    with open(cut, "wb") as f:
        f.write(data[:-30])
    os.chmod(cut, 0o755)
    rc, err = run_viewer(cut, no_display)
    check(rc == 1 and err, "a truncated slideshow is refused (%s: %s)" % (rc, err))

    lying = bytearray(data)
    lying[-13:-9] = struct.pack("<I", len(b) + 1)  # last picture one byte too long
    path = os.path.join(work, "lying.exe")
    with open(path, "wb") as f:
        f.write(lying)
    os.chmod(path, 0o755)
    rc, err = run_viewer(path, no_display)
    check(rc == 1 and "picture 2 of 2" in err, "lengths that overrun the trailer are refused (%s: %s)" % (rc, err))

    rc, err = run_viewer(good, no_display)
    check(rc == 2 and "display" in err, "no display: a message and exit 2 (%s: %s)" % (rc, err))

    garbage = build_slideshow(viewer, os.path.join(work, "garbage.exe"),
                              [a, b"\xff\xd8" + bytes(range(256)) * 8])
    proc = start(garbage)
    expect_screen(work, "a slideshow with a broken second picture shows the first", SHOWS_A)
    time.sleep(0.5)  # the broken one is decoded ahead meanwhile
    check(proc.poll() is None, "the broken picture decoded ahead does not end the show early")
    key("space")
    try:
        rc = proc.wait(timeout=15)
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = proc.wait()
    err = proc.stderr.read().strip()
    check(rc == 3 and "picture 2 of 2" in err,
          "the broken picture stops the show with a message (%s: %s)" % (rc, err))


def progressive_jpeg(path, width, height, pixels):
    """A progressive JPEG through cjpeg from the PPM bytes given (repeated to fill it)."""
    ppm = path + ".ppm"
    size = width * height * 3
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (width, height))
        f.write((pixels * (size // len(pixels) + 1))[:size])
    subprocess.run(["cjpeg", "-progressive", "-quality", "90", "-outfile", path, ppm], check=True)
    os.remove(ppm)
    with open(path, "rb") as f:
        return f.read()


def jpeg_bomb(work):
    """A tiny progressive JPEG whose frame header claims 32767 x 32767."""
    data = bytearray(progressive_jpeg(os.path.join(work, "bomb.jpg"), 64, 64, b"\x80\x40\x20"))
    sof = data.index(b"\xff\xc2")
    data[sof + 5:sof + 9] = struct.pack(">HH", 32767, 32767)  # height, width
    return bytes(data)


def has_exited(proc, timeout):
    """Whether the child ends within `timeout`, leaving it for wait_measured to collect."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.waitid(os.P_PID, proc.pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is not None:
            return True
        time.sleep(0.05)
    return False


def wait_measured(proc, timeout=20):
    """Exit code and resource use (peak memory, processor time) of a started child, from its
    own accounting rather than a timer."""
    deadline = time.monotonic() + timeout
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid != 0:
            break
        if time.monotonic() > deadline:
            proc.kill()
            _, status, usage = os.wait4(proc.pid, 0)
            break
        time.sleep(0.05)
    proc.returncode = os.waitstatus_to_exitcode(status)
    return proc.returncode, usage


def hostile(viewer, work):
    a, b = pictures(work)
    show = build_slideshow(viewer, os.path.join(work, "bomb.exe"), [jpeg_bomb(work), a])
    proc = start(show)
    rc, usage = wait_measured(proc)
    err = proc.stderr.read().strip()
    check(rc == 3 and "picture 1 of 2" in err and "32767 x 32767" in err,
          "a JPEG claiming 32767 x 32767 is refused with its size (%s: %s)" % (rc, err))
    check(usage.ru_maxrss < 100 * 1024,
          "the refused picture costs no memory (peak %d MB)" % (usage.ru_maxrss // 1024))

    # A large but allowed picture of noise, slow to decode: Escape pressed at once ends the show
    # with exit 0, the decode stopped part-way, so the stub spends far less processor time than
    # a whole decode of it at the same scale.
    big_path = os.path.join(work, "big.jpg")
    big = progressive_jpeg(big_path, 8000, 6000, os.urandom(3 * 1024 * 1021))
    whole = subprocess.Popen(["djpeg", "-scale", "3/8", "-outfile", os.devnull, big_path])
    _, whole_usage = wait_measured(whole, timeout=120)
    whole_cpu = whole_usage.ru_utime + whole_usage.ru_stime
    show = build_slideshow(viewer, os.path.join(work, "big.exe"), [big, b])
    proc = start(show)
    deadline = time.monotonic() + 15
    while time.monotonic() < deadline and not subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Slideshow$"],
            capture_output=True).stdout.strip():
        time.sleep(0.05)
    # The window takes the keyboard's focus as it maps: until then a key may go astray.
    for _ in range(10):
        key("Escape")
        if has_exited(proc, 1.0):
            break
    rc, usage = wait_measured(proc, timeout=10)
    err = proc.stderr.read().strip()
    cpu = usage.ru_utime + usage.ru_stime
    check(rc == 0, "Escape while a large picture decodes exits 0 (got %s%s)"
          % (rc, ", " + err if err else ""))
    check(cpu < whole_cpu / 2, "Escape stops the decode part-way (%.2f s of processor time, a "
          "whole decode takes %.2f s)" % (cpu, whole_cpu))

    # Stepped to while it decodes, the large picture leaves the one before on screen meanwhile.
    proc = start(build_slideshow(viewer, os.path.join(work, "big2.exe"), [a, big]))
    expect_screen(work, "a small picture before a large one", SHOWS_A)
    key("space")
    check(wait_for(work, SHOWS_A, timeout=0) is None,
          "stepping to a picture still decoding keeps the one before on screen")
    key("Escape")
    finish(proc, "Escape while the large picture decodes")
    for name in ("big.jpg", "big.exe", "big2.exe"):
        os.remove(os.path.join(work, name))  # tens of megabytes each


def libraries(viewer, work):
    def needed(path):
        out = subprocess.run(["objdump", "-p", path], capture_output=True, text=True,
                             check=True).stdout
        return {line.split()[1] for line in out.splitlines() if line.split()[:1] == ["NEEDED"]}

    # Whatever the X client library pulls in is part of having X11; a static stub needs nothing.
    allowed = {"libc.so.6", "libm.so.6", "ld-linux-x86-64.so.2", "libX11.so.6", "libxcb.so.1", "libXau.so.6",
               "libXdmcp.so.6", "libbsd.so.0", "libmd.so.0"}
    extra = needed(viewer) - allowed
    check(not extra, "the viewer needs only libc and X11 at run time (extra: %s)" % sorted(extra))
    banned = [n for n in needed(viewer) if any(k in n for k in ("jpeg", "pixman", "stdc++", "gcc_s", "Qt"))]
    check(not banned, "libjpeg, pixman and the C++ runtime are linked in (found %s)" % banned)

    # Ten years of desktops: glibc 2.17 (RHEL 7) is the oldest the stub may ask for.
    dynamic = subprocess.run(["objdump", "-T", viewer], capture_output=True, text=True).stdout
    versions = {tuple(int(n) for n in v.split(".")) for v in
                re.findall(r"\bGLIBC_(\d+(?:\.\d+)+)\b", dynamic)}
    newer = sorted(v for v in versions if v > (2, 17))
    check(not newer, "the viewer needs no glibc newer than 2.17 (needs %s)"
          % ", ".join("GLIBC_" + ".".join(map(str, v)) for v in newer))

def main():
    mode, viewer, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    os.makedirs(work, exist_ok=True)
    inner = os.environ.get("PELISTO_VIEWER_INNER") == "1"
    if mode in ("play", "auto", "damaged", "hostile", "options") and not inner:
        missing = [t for t in ("xvfb-run", "Xvfb", "xauth", "import", "xdotool", "cjpeg",
                               "djpeg") if shutil.which(t) is None]
        if missing:
            print("skipped: missing " + ", ".join(missing))
            return SKIP
        env = dict(os.environ, PELISTO_VIEWER_INNER="1")
        return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 %dx%dx24 -nolisten tcp"
                               % (SCREEN_W, SCREEN_H), sys.executable, __file__, mode, viewer,
                               work], env=env).returncode
    {"play": play, "auto": auto, "damaged": damaged, "hostile": hostile, "options": options,
     "libraries": libraries}[mode](viewer, work)
    print("%d passed, %d failed" % (0 if failures else 1, 1 if failures else 0))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

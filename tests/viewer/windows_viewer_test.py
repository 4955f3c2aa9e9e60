#!/usr/bin/env python3
"""Drives the Windows stub TheExe.exe as a user would, under Wine on a virtual X server: builds
slideshow files around it, compares screenshots with pictures scaled by Pillow, presses keys.

    windows_viewer_test.py imports|wine TheExe.exe WORK_FOLDER

imports: the stub imports only DLLs that every Windows has (needs only mingw-w64's objdump).
wine:    one private Wine prefix for the whole run, then every case in a row. Exits 77
         (skipped) when Wine is not installed; every Wine call has a timeout, since a message
         box would otherwise wait for a key for ever.
"""

import os
import shutil
import struct
import subprocess
import sys
import time

# The trailer and the play-options segment, written from their layouts as the Linux tests do.
from viewer_test import trailer, with_play_options

SKIP = 77
SCREEN_W, SCREEN_H = 1024, 768
# Bicubic under Wine against Pillow's Lanczos: about 40 dB on these pictures. A picture one
# pixel off in place or size, flipped or scaled with the wrong fit falls far below.
MIN_PSNR = 30.0
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


# --- slideshow files -----------------------------------------------------------------------

def build_slideshow(stub_path, path, pictures, automatic=False, delay=10):
    with open(stub_path, "rb") as f:
        stub = f.read()
    with open(path, "wb") as f:
        f.write(stub + b"".join(pictures)
                + trailer(len(stub), automatic, delay, [len(p) for p in pictures]))
    return path


def make_pictures(work):
    """Three JPEGs: wider than the screen, taller, smaller. Smooth colour ramps under a few
    sharp bands, so that place, size and orientation all show in the comparison."""
    from PIL import Image, ImageDraw

    def picture(name, width, height, seed):
        im = Image.new("RGB", (width, height))
        px = im.load()
        for y in range(height):
            for x in range(width):
                px[x, y] = ((x * 255 // width + seed) % 256, y * 255 // height,
                            (seed * 3 + (x + y) * 128 // (width + height)) % 256)
        draw = ImageDraw.Draw(im)
        draw.rectangle([width // 10, height // 10, width // 4, height // 4], fill=(255, 255, 255))
        draw.ellipse([width // 2, height // 2, width * 9 // 10, height * 9 // 10], fill=(0, 0, 0))
        path = os.path.join(work, name)
        im.save(path, quality=92)
        with open(path, "rb") as f:
            return f.read()

    return {
        # 1600 x 600 fits as 1024 x 384 at (0, 192).
        "wide": picture("wide.jpg", 1600, 600, 0),
        # 800 x 1000 fits as 614 x 768 at (205, 0).
        "tall": picture("tall.jpg", 800, 1000, 90),
        # 300 x 200 stays at its natural size, centred at (362, 284).
        "small": picture("small.jpg", 300, 200, 180),
    }


def fit(width, height):
    """The stub's fit, restated: the largest width below the picture's whose rounded height
    fits, both sides within the screen; a picture that fits stays as it is."""
    if width <= SCREEN_W and height <= SCREEN_H:
        return width, height
    ratio = height / width
    w = min(width - 1, SCREEN_W)
    while round(w * ratio) > SCREEN_H:  # Python's round is half-to-even too
        w -= 1
    return w, round(w * ratio)


def reference(jpeg, size=None):
    """The screen as it should look: the picture decoded and scaled by Pillow, centred on
    black (a side larger than the screen overflows equally both ways)."""
    from io import BytesIO
    from PIL import Image
    im = Image.open(BytesIO(jpeg)).convert("RGB")
    w, h = size or fit(*im.size)
    screen = Image.new("RGB", (SCREEN_W, SCREEN_H))
    screen.paste(im.resize((w, h), Image.LANCZOS), (int((SCREEN_W - w) / 2),
                                                    int((SCREEN_H - h) / 2)))
    return screen


# --- the screen ----------------------------------------------------------------------------

def screenshot(work):
    from PIL import Image
    path = os.path.join(work, "screen.png")
    subprocess.run(["import", "-window", "root", path], check=True, stderr=subprocess.DEVNULL,
                   timeout=30)
    return Image.open(path).convert("RGB")


def psnr(a, b):
    from PIL import ImageChops, ImageStat
    import math
    sums = ImageStat.Stat(ImageChops.difference(a, b)).sum2
    mse = sum(sums) / (a.size[0] * a.size[1] * 3)
    return 99.0 if mse == 0 else 10 * math.log10(255 * 255 / mse)


def expect_screen(work, what, want, timeout=30.0):
    """Screenshots until the screen matches `want`; Wine may take a moment to start."""
    deadline = time.monotonic() + timeout
    while True:
        shot = screenshot(work)
        value = psnr(shot, want)
        if value >= MIN_PSNR or time.monotonic() > deadline:
            break
        time.sleep(0.2)
    if value < MIN_PSNR:
        name = what.split(":")[0].replace(" ", "-")
        shot.save(os.path.join(work, "failed-%s.png" % name))
        want.save(os.path.join(work, "wanted-%s.png" % name))
    check(value >= MIN_PSNR, "%s (PSNR %.1f dB)" % (what, value))


def key(name):
    subprocess.run(["xdotool", "key", name], check=True, timeout=10)


def click():
    subprocess.run(["xdotool", "mousemove", "600", "400", "click", "1"], check=True, timeout=10)


# --- Wine ----------------------------------------------------------------------------------

def wine_env(work):
    return dict(os.environ, WINEPREFIX=os.path.join(work, "prefix"), WINEDEBUG="-all",
                WINEDLLOVERRIDES="mscoree,mshtml=")  # no Mono or Gecko installer prompts


def start(work, path):
    return subprocess.Popen(["timeout", "120", "wine", path], env=wine_env(work),
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def finish(proc, timeout=20, box_expected=False):
    """The exit code, the message on the error channel and whether a message box showed. With
    box_expected, Enter answers the box the program waits on."""
    deadline = time.monotonic() + timeout
    boxes = 0
    while box_expected and proc.poll() is None and time.monotonic() < deadline:
        # The box's title; the slideshow window is gone by the time it shows.
        found = subprocess.run(["xdotool", "search", "--name", "^Slideshow$"],
                               capture_output=True, text=True, timeout=10).stdout.split()
        if found:
            boxes += 1
            subprocess.run(["xdotool", "key", "Return"], timeout=10)
        time.sleep(0.5)
    try:
        rc = proc.wait(timeout=max(1.0, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        proc.kill()
        rc = proc.wait()
    return rc, proc.stderr.read().strip(), boxes > 0


# --- the cases -----------------------------------------------------------------------------

def play(stub, work, pics):
    wide, tall, small = pics["wide"], pics["tall"], pics["small"]
    show = build_slideshow(stub, os.path.join(work, "show.exe"), [wide, tall, small])
    proc = start(work, show)
    expect_screen(work, "wider than the screen: fitted to 1024x384, centred", reference(wide),
                  timeout=60)
    key("space")
    expect_screen(work, "Space: taller than the screen, fitted to 614x768", reference(tall))
    key("space")
    expect_screen(work, "Space: smaller than the screen, natural size, centred",
                  reference(small))
    key("space")
    expect_screen(work, "Space on the last wraps to the first", reference(wide))
    key("BackSpace")
    expect_screen(work, "Backspace on the first wraps to the last", reference(small))
    key("BackSpace")
    expect_screen(work, "Backspace steps back", reference(tall))
    # The keys a laptop has.
    for name, want, what in (("Right", small, "Right arrow"), ("Left", tall, "Left arrow"),
                             ("Next", small, "Page Down"), ("Prior", tall, "Page Up")):
        key(name)
        expect_screen(work, what + " steps like Space or Backspace", reference(want))
    click()
    expect_screen(work, "a left click steps forward", reference(small))
    key("KP_Add")
    expect_screen(work, "keypad + widens by 100 pixels", reference(small, (400, 267)))
    key("minus")
    expect_screen(work, "the main keyboard's - narrows by 100", reference(small))
    key("plus")
    key("KP_Add")
    expect_screen(work, "the main keyboard's + widens like the keypad's",
                  reference(small, (500, 333)))
    key("KP_Multiply")
    expect_screen(work, "keypad * fits again", reference(small))
    # Keys in a burst meet decodes ahead half done and must still land where they count to.
    subprocess.run(["xdotool", "key", "space", "space", "BackSpace", "space"], check=True,
                   timeout=10)
    expect_screen(work, "Space Space Backspace Space in a burst: two on", reference(tall))
    key("Escape")
    rc, err, _ = finish(proc)
    check(rc == 0, "Escape ends with exit code 0 (got %s, %s)" % (rc, err))


def automatic(stub, work, pics):
    # Wine's GDI+ takes about a second to scale the tall picture (more on a busy machine), so
    # the delay leaves each picture on screen long enough for a screenshot to catch it.
    show = build_slideshow(stub, os.path.join(work, "auto.exe"), [pics["tall"], pics["small"]],
                           automatic=True, delay=4)
    proc = start(work, show)
    expect_screen(work, "automatic: the first picture", reference(pics["tall"]))
    expect_screen(work, "automatic: advances to the second by itself", reference(pics["small"]),
                  timeout=15)
    expect_screen(work, "automatic: and wraps to the first", reference(pics["tall"]), timeout=15)
    key("Escape")
    rc, err, _ = finish(proc)
    check(rc == 0, "Escape during the automatic show exits 0 (got %s, %s)" % (rc, err))

    # A step by hand restarts the period: 3 s into a 6 s period, Space shows the second, which
    # stays past the moment the old period would have ended until a whole period is over.
    show = build_slideshow(stub, os.path.join(work, "auto6.exe"), [pics["small"], pics["tall"]],
                           automatic=True, delay=6)
    proc = start(work, show)
    expect_screen(work, "automatic every 6 s: the first picture", reference(pics["small"]))
    time.sleep(3.0)
    pressed = time.monotonic()
    key("space")
    expect_screen(work, "Space steps by hand", reference(pics["tall"]))
    time.sleep(max(0.0, pressed + 4.0 - time.monotonic()))
    value = psnr(screenshot(work), reference(pics["tall"]))
    check(value >= MIN_PSNR, "the picture stepped to by hand is not cut short (PSNR %.1f dB)" % value)
    expect_screen(work, "and the advance comes a whole period after the step",
                  reference(pics["small"]), timeout=15)
    key("Escape")
    rc, err, _ = finish(proc)
    check(rc == 0, "Escape after a step by hand exits 0 (got %s, %s)" % (rc, err))


def damaged(stub, work, pics):
    def refused(path, want_rc, what, during=None):
        proc = start(work, path)
        if during:
            during()
        rc, err, box = finish(proc, timeout=60, box_expected=True)
        check(rc == want_rc and box,
              "%s: a message box and exit %d (got %s, box %s, %s)" % (what, want_rc, rc, box,
                                                                      err or "no text"))
        return err

    bare = os.path.join(work, "bare.exe")
    shutil.copy(stub, bare)
    refused(bare, 1, "the bare stub holds no slideshow")

    good = build_slideshow(stub, os.path.join(work, "good.exe"), [pics["small"], pics["wide"]])
    with open(good, "rb") as f:
        data = f.read()
    cut = os.path.join(work, "cut.exe")
    with open(cut, "wb") as f:
        f.write(data[:-30])
    refused(cut, 1, "a damaged trailer")

    lying = bytearray(data)
    lying[-13:-9] = struct.pack("<I", len(pics["wide"]) + 1)  # last picture one byte too long
    path = os.path.join(work, "lying.exe")
    with open(path, "wb") as f:
        f.write(lying)
    refused(path, 1, "picture lengths that overrun the trailer")

    garbage = build_slideshow(stub, os.path.join(work, "garbage.exe"),
                              [pics["small"], b"\xff\xd8" + bytes(range(256)) * 8])

    def step_onto_the_broken_picture():
        expect_screen(work, "a broken second picture: the first still shows",
                      reference(pics["small"]))
        key("space")

    refused(garbage, 3, "a picture that cannot be decoded", step_onto_the_broken_picture)

    # The file shrinks under the running show, cutting off pictures it has yet to read: a file
    # error (exit 1), not a picture that cannot be shown.
    shrinking = build_slideshow(stub, os.path.join(work, "shrinking.exe"),
                                [pics["small"], pics["tall"], pics["wide"], pics["small"]])

    def cut_off_the_last_pictures():
        expect_screen(work, "a shrinking file: the first picture shows", reference(pics["small"]))
        os.truncate(shrinking, os.path.getsize(stub) + len(pics["small"]) + len(pics["tall"]))
        key("space")

    refused(shrinking, 1, "a file that shrinks while it plays", cut_off_the_last_pictures)

    # A tiny progressive JPEG whose header claims 32767 x 32767: refused from the header, with
    # its size, before GDI+ allocates for it.
    bomb = build_slideshow(stub, os.path.join(work, "bomb.exe"), [jpeg_bomb(), pics["small"]])
    err = refused(bomb, 3, "a JPEG claiming 32767 x 32767")
    check("32767 x 32767" in err, "the refusal gives the claimed size (%s)" % err)


def signed(stub, work, pics):
    """Signed slideshows play: one signed by pelisto-build --sign and one signed afterwards by
    osslsigncode itself, with a certificate made here. One with bytes after its signature is
    refused rather than read from the wrong place."""
    if shutil.which("osslsigncode") is None or shutil.which("openssl") is None:
        print("skipped signed slideshows: osslsigncode or openssl is not installed")
        return
    private_key, cert, pfx, password = (os.path.join(work, n) for n in
                                ("key.pem", "cert.pem", "cert.pfx", "password"))
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                    private_key, "-out", cert, "-days", "30", "-subj", "/CN=Pelisto test",
                    "-addext", "extendedKeyUsage=codeSigning"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", private_key, "-in", cert, "-out", pfx,
                    "-passout", "pass:secret"], check=True, capture_output=True)
    with open(password, "w") as f:
        f.write("secret\n")
    by_tool = os.path.join(work, "signed.exe")
    build = subprocess.run([os.path.join(os.path.dirname(stub), "pelisto-build"), "-q", "100",
                            "--sign", pfx, "--sign-password-file", password, "-o", by_tool,
                            os.path.join(work, "wide.jpg"), os.path.join(work, "tall.jpg")],
                           capture_output=True, text=True, timeout=120)
    check(build.returncode == 0, "pelisto-build --sign (%s)" % build.stderr.strip())
    verify = subprocess.run(["osslsigncode", "verify", "-CAfile", cert, "-in", by_tool],
                            capture_output=True, text=True)
    check(verify.returncode == 0, "the signature verifies against the test certificate")
    plain = build_slideshow(stub, os.path.join(work, "plain.exe"), [pics["wide"], pics["tall"]])
    afterwards = os.path.join(work, "afterwards.exe")
    if os.path.exists(afterwards):
        os.remove(afterwards)  # osslsigncode writes only a new file
    subprocess.run(["osslsigncode", "sign", "-pkcs12", pfx, "-pass", "secret", "-in", plain,
                    "-out", afterwards], check=True, capture_output=True)
    for path, how in ((by_tool, "signed by pelisto-build"), (afterwards, "signed afterwards")):
        proc = start(work, path)
        expect_screen(work, how + ": the first picture", reference(pics["wide"]), timeout=60)
        key("space")
        expect_screen(work, how + ": Space, the second", reference(pics["tall"]))
        key("Escape")
        rc, err, _ = finish(proc)
        check(rc == 0, how + ": Escape ends with exit code 0 (got %s, %s)" % (rc, err))

    with open(afterwards, "rb") as f:
        data = f.read()
    extended = os.path.join(work, "extended.exe")
    with open(extended, "wb") as f:
        f.write(data + bytes(8))
    proc = start(work, extended)
    rc, err, box = finish(proc, timeout=60, box_expected=True)
    check(rc == 1 and box and "certificate table" in err,
          "bytes after the signature: a message box and exit 1 (got %s, box %s, %s)"
          % (rc, box, err or "no text"))


def options(stub, work, pics):
    """The play options the first picture's segment carries: order, stop at the end,
    crossfade, captions; the files are read by their trailer alone, as any slideshow."""
    from io import BytesIO
    from PIL import Image
    colours = {"red": (255, 0, 0), "blue": (0, 0, 255), "green": (0, 200, 0),
               "grey": (128, 128, 128)}

    def solid(colour):
        out = BytesIO()
        Image.new("RGB", (SCREEN_W, SCREEN_H), colour).save(out, "JPEG", quality=95)
        return out.getvalue()

    solids = {name: solid(c) for name, c in colours.items()}

    def near(c, want, tolerance=40):
        return all(abs(a - b) <= tolerance for a, b in zip(c, want))

    def shown():
        c = screenshot(work).getpixel((SCREEN_W // 2, SCREEN_H // 3))
        return next((n for n, want in colours.items() if near(c, want)), None)

    def wait_change(before, timeout=30.0):
        deadline = time.monotonic() + timeout
        while True:
            name = shown()
            if (name is not None and name != before) or time.monotonic() > deadline:
                return name
            time.sleep(0.1)

    def show(name, pictures, **kwargs):
        return start(work, build_slideshow(stub, os.path.join(work, name), pictures, **kwargs))

    def ends(proc, what):
        rc, err, _ = finish(proc)
        check(rc == 0, "%s: exits 0 (got %s, %s)" % (what, rc, err))

    proc = show("shuffle.exe", [with_play_options(p, shuffle=True) for p in solids.values()])
    seen = [wait_change(None, timeout=60)]
    for _ in range(7):
        key("space")
        seen.append(wait_change(seen[-1]))
    check(sorted(seen[:4]) == sorted(colours) and sorted(seen[4:]) == sorted(colours),
          "shuffle: every picture once in each round of four (%s)" % seen)
    key("BackSpace")
    back = wait_change(seen[-1])
    check(back == seen[-2], "shuffle: Backspace goes back to the picture shown before (%s)" % back)
    key("Escape")
    ends(proc, "Escape in a shuffled show")

    # Stopping at the end: the automatic advance ends on the last picture, which stays until
    # a key asks for the next one; that key ends the show.
    red, blue = solids["red"], solids["blue"]
    proc = show("stop.exe", [with_play_options(p, stop_at_end=True) for p in (red, blue)],
                automatic=True, delay=2)
    check(wait_change(None, timeout=60) == "red", "stop at the end: the first picture")
    check(wait_change("red") == "blue", "stop at the end: advances to the last")
    time.sleep(4.5)
    check(proc.poll() is None and shown() == "blue",
          "stop at the end: the last picture stays past two more periods")
    key("space")
    ends(proc, "stop at the end: Space on the last picture ends the show")

    # A long crossfade, caught half way: every pixel a mix of both pictures.
    proc = show("fade.exe", [with_play_options(p, crossfade_ms=4000) for p in (red, blue)])
    check(wait_change(None, timeout=60) == "red", "crossfade: the first picture")
    key("space")
    time.sleep(2.0)
    shot = screenshot(work)
    shot.save(os.path.join(work, "mid-fade.png"))
    mixed = [shot.getpixel(p) for p in ((0, 0), (512, 384), (1023, 767))]
    check(all(40 <= r <= 215 and 40 <= b <= 215 and 200 < r + b < 310 for r, _, b in mixed),
          "crossfade: half way, red and blue mixed (%s)" % mixed)
    key("KP_Multiply")  # any key finishes the fade at once, long before its 4 s are over
    time.sleep(0.8)
    check(shown() == "blue" and near(screenshot(work).getpixel((0, 0)), (0, 0, 255), 10),
          "crossfade: a key finishes it at once")
    key("Escape")
    ends(proc, "Escape after a crossfade")

    # Captions: a dark band at the foot, light text in it, cut to the screen's width.
    grey = solids["grey"]
    proc = show("caption.exe", [with_play_options(grey, caption="Lake shore at dusk"),
                                with_play_options(grey, caption="Lake shore at dusk, " * 20),
                                grey])
    wait_change(None, timeout=60)
    for what in ("a short caption", "a long caption"):
        time.sleep(1.0)
        shot = screenshot(work)
        shot.save(os.path.join(work, what.replace(" ", "-") + ".png"))
        band = [y for y in range(SCREEN_H - 1, SCREEN_H // 2, -1) if shot.getpixel((2, y))[0] < 90]
        light = [x for y in band for x in range(SCREEN_W) if min(shot.getpixel((x, y))) > 200]
        check(20 <= len(band) <= 120 and band[0] == SCREEN_H - 1,
              "%s: a dark band at the foot (%d rows)" % (what, len(band)))
        check(len(light) > 50 and min(light) > 8 and max(light) < SCREEN_W - 8,
              "%s: light text in the band, within the screen (%d pixels, x %s..%s)"
              % (what, len(light), min(light, default=None), max(light, default=None)))
        key("space")
    time.sleep(1.0)
    check(near(screenshot(work).getpixel((2, SCREEN_H - 1)), colours["grey"]),
          "no caption: the picture down to the foot")
    key("Escape")
    ends(proc, "Escape after captions")


def jpeg_bomb():
    from io import BytesIO
    from PIL import Image
    out = BytesIO()
    Image.new("RGB", (64, 64), (128, 64, 32)).save(out, "JPEG", progressive=True)
    data = bytearray(out.getvalue())
    sof = data.index(b"\xff\xc2")
    data[sof + 5:sof + 9] = struct.pack(">HH", 32767, 32767)  # height, width
    return bytes(data)


def large(stub, work, pics):
    """Escape pressed as soon as the window shows ends the show (exit 0) while a large picture
    of noise is still decoding, rather than after the decode; a step to it keeps the picture
    before on screen meanwhile."""
    from PIL import Image
    width, height = 8000, 6000
    noise = os.urandom(3 * 1024 * 1021)
    size = width * height * 3
    path = os.path.join(work, "large.jpg")
    Image.frombytes("RGB", (width, height), (noise * (size // len(noise) + 1))[:size]).save(
        path, quality=90, progressive=True)
    with open(path, "rb") as f:
        show = build_slideshow(stub, os.path.join(work, "large.exe"), [f.read()])
    proc = start(work, show)
    deadline = time.monotonic() + 60
    while time.monotonic() < deadline and not subprocess.run(
            ["xdotool", "search", "--onlyvisible", "--name", "^Slideshow$"],
            capture_output=True, timeout=10).stdout.strip():
        time.sleep(0.1)
    key("Escape")
    pressed = time.monotonic()
    rc, err, _ = finish(proc, timeout=60)
    check(rc == 0, "Escape while a large picture decodes exits 0 (got %s, %s, after %.1f s)"
          % (rc, err, time.monotonic() - pressed))

    # Stepped to while it decodes, the large picture leaves the one before on screen meanwhile.
    with open(path, "rb") as f:
        after = build_slideshow(stub, os.path.join(work, "after.exe"), [pics["small"], f.read()])
    proc = start(work, after)
    expect_screen(work, "a small picture before a large one", reference(pics["small"]))
    key("space")
    time.sleep(1.0)
    value = psnr(screenshot(work), reference(pics["small"]))
    check(value >= MIN_PSNR, "stepping to a picture still decoding keeps the one before on "
          "screen (PSNR %.1f dB)" % value)
    key("Escape")
    rc, err, _ = finish(proc, timeout=60)
    check(rc == 0, "Escape while the large picture decodes exits 0 (got %s, %s)" % (rc, err))
    for name in (path, show, after):
        os.remove(name)  # tens of megabytes each


def resource_types(path):
    """The type numbers at the root of a program's resource directory."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    sections = struct.unpack_from("<H", data, pe + 6)[0]
    optional_size = struct.unpack_from("<H", data, pe + 20)[0]
    rsrc = struct.unpack_from("<I", data, pe + 24 + 112 + 8 * 2)[0]  # PE32+, third directory
    for i in range(sections):
        _, size, address, raw_size, raw_at = struct.unpack_from(
            "<8sIIII", data, pe + 24 + optional_size + 40 * i)
        if address <= rsrc < address + max(size, raw_size):
            root = raw_at + rsrc - address
            named, numbered = struct.unpack_from("<HH", data, root + 12)
            return {struct.unpack_from("<I", data, root + 16 + 8 * k)[0]
                    for k in range(named, named + numbered)}
    return set()


def imports(stub):
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", stub], capture_output=True,
                         text=True, check=True).stdout
    dlls = {line.split(":", 1)[1].strip().lower() for line in out.splitlines()
            if "DLL Name:" in line}
    system = {"kernel32.dll", "user32.dll", "gdi32.dll", "gdiplus.dll", "shlwapi.dll",
              "ole32.dll", "msvcrt.dll", "advapi32.dll", "shell32.dll"}
    check(dlls and dlls <= system,
          "the stub imports only Windows system DLLs (%s; extra: %s)"
          % (sorted(dlls), sorted(dlls - system)))
    check(not any(n.startswith(("libstdc++", "libgcc", "libwinpthread")) for n in dlls),
          "the C++ runtime is linked in")
    size = os.path.getsize(stub)
    check(size < 300 * 1024, "the stub stays small (%d bytes)" % size)
    check("(Windows GUI)" in out, "a Windows GUI program, no console window")
    # Icon (3), its group (14) and version information (16), with the product's name in it.
    types = resource_types(stub)
    check({3, 14, 16} <= types, "an icon and a version resource (types %s)" % sorted(types))
    with open(stub, "rb") as f:
        data = f.read()
    for field, value in (("FileDescription", "Pelisto slideshow"),
                         ("ProductName", "Pelisto slideshow"), ("CompanyName", "")):
        check((field + "\0").encode("utf-16-le") in data and value.encode("utf-16-le") in data,
              "the version resource holds %s %s" % (field, value))


def wine_cases(stub, work):
    prefix = os.path.join(work, "prefix")
    shutil.rmtree(prefix, ignore_errors=True)
    env = wine_env(work)
    started = time.monotonic()
    boot = subprocess.run(["timeout", "180", "wine", "wineboot", "-i"], env=env,
                          capture_output=True, text=True)
    check(boot.returncode == 0, "a private Wine prefix (%.0f s)" % (time.monotonic() - started))
    if boot.returncode != 0:
        print(boot.stderr)
        return
    try:
        pics = make_pictures(work)
        play(stub, work, pics)
        automatic(stub, work, pics)
        damaged(stub, work, pics)
        signed(stub, work, pics)
        large(stub, work, pics)
        options(stub, work, pics)
    finally:
        subprocess.run(["timeout", "30", "wineserver", "-k"], env=env)
    if not failures:
        shutil.rmtree(prefix, ignore_errors=True)


def main():
    mode, stub, work = sys.argv[1], os.path.abspath(sys.argv[2]), os.path.abspath(sys.argv[3])
    os.makedirs(work, exist_ok=True)
    if not os.path.isfile(stub):
        print("FAIL the Windows stub %s was not built" % stub)
        return 1
    if mode == "imports":
        imports(stub)
    elif os.environ.get("PELISTO_WINE_INNER") != "1":
        if shutil.which("wine") is None:
            print("skipped: Wine is not installed (scripts/install-deps.sh installs it)")
            return SKIP
        missing = [t for t in ("xvfb-run", "Xvfb", "xauth", "import", "xdotool")
                   if shutil.which(t) is None]
        if missing:
            print("FAIL missing " + ", ".join(missing) + " (scripts/install-deps.sh installs them)")
            return 1
        python = sys.executable
        # Pillow is Debian's python3-pil: use the system interpreter if this one lacks it.
        if subprocess.run([python, "-c", "import PIL"], capture_output=True).returncode != 0:
            python = "/usr/bin/python3"
        env = dict(os.environ, PELISTO_WINE_INNER="1")
        return subprocess.run(["xvfb-run", "-a", "-s", "-screen 0 %dx%dx24 -nolisten tcp"
                               % (SCREEN_W, SCREEN_H), python, __file__, mode, stub, work],
                              env=env).returncode
    else:
        wine_cases(stub, work)
    print("%d failed" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

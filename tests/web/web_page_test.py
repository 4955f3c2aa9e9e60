#!/usr/bin/env python3
"""Plays web page slideshows made by pelisto-build in a real browser engine, driven by
WebDriver, and looks at what it shows; plays its MP4 video in a <video> element too.

    web_page_test.py chromium|webkit BIN_FOLDER FIT_CASES WORK_FOLDER

chromium: Debian's chromium and chromedriver, headless, at a desktop size (1280x720) and at a
phone size with touch (390x844, device pixel ratio 3). webkit: WebKitGTK's MiniBrowser through
WebKitWebDriver, on the X display the caller gives (xvfb-run), at the desktop size. Needs
python3-selenium and python3-pil (and GStreamer's H.264 for WebKit's video). Exits 77 (skipped) when the engine or its driver is missing.
"""

import base64
import io
import json
import math
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from build_runs import build, fit_rect  # noqa: E402

SKIP = 77
failures = []

try:
    from PIL import Image, ImageDraw
    from selenium import webdriver
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.common.action_chains import ActionChains
    from selenium.webdriver.common.keys import Keys
except ImportError as e:
    print("skipped: %s" % e)
    sys.exit(SKIP)

GREEN, BLUE = (0, 200, 0), (0, 0, 255)
DESKTOP = (1280, 720)
WEBKIT_BROWSER = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser"
# Wraps the page's Blob URL calls: how many of the URLs it made are alive, at most and now.
BLOB_COUNTER = """
    (() => {
      const make = URL.createObjectURL, drop = URL.revokeObjectURL, alive = new Set();
      const b = window.__blobs = {live: 0, most: 0, made: 0};
      URL.createObjectURL = function (o) {
        const url = make.call(URL, o);
        alive.add(url);
        b.made++;
        b.live = alive.size;
        b.most = Math.max(b.most, b.live);
        return url;
      };
      URL.revokeObjectURL = function (u) {
        alive.delete(u);
        b.live = alive.size;
        return drop.call(URL, u);
      };
    })();"""


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


def poll(probe, timeout=15.0):
    """Asks probe until it answers something true or the time is up; returns the last answer."""
    deadline = time.monotonic() + timeout
    while True:
        answer = probe()
        if answer or time.monotonic() > deadline:
            return answer
        time.sleep(0.05)


# --- pages -----------------------------------------------------------------------------------

def photo(path, width, height):
    """Smooth gradients with a few shapes: a picture whose scaling a PSNR can judge."""
    img = Image.new("RGB", (width, height))
    px = img.load()
    for y in range(height):
        for x in range(width):
            px[x, y] = (x * 255 // width, y * 255 // height, (x + y) * 255 // (width + height))
    d = ImageDraw.Draw(img)
    d.ellipse((width // 4, height // 4, width // 2, height // 2), fill=(250, 240, 30))
    d.rectangle((width * 3 // 5, height // 5, width * 4 // 5, height * 3 // 5), fill=(30, 30, 200))
    img.save(path)
    return path


def solid(path, size, colour):
    Image.new("RGB", size, colour).save(path)
    return path


def hue(i, n):
    """Distinct, clearly told apart colours for picture i of n."""
    h = i / n * 6
    k = int(h) % 6
    f = int((h - int(h)) * 255)
    return [(255, f, 0), (255 - f, 255, 0), (0, 255, f), (0, 255 - f, 255), (f, 0, 255),
            (255, 0, 255 - f)][k]


def page_pictures(page):
    """The JPEGs a page holds, read with a parser of our own rather than the tool's reader."""
    with open(page, "rb") as f:
        text = f.read().decode("utf-8")
    blocks = re.findall(r'<template class="pelisto-jpeg"[^>]*>([^<]*)</template>', text)
    return [base64.b64decode(b) for b in blocks]


# --- the browsers ----------------------------------------------------------------------------

class Browser:
    """One engine at one size, with what it fetched and logged."""

    def __init__(self, engine, phone=False):
        self.urls, self.logged = [], []
        self.engine = engine
        self.phone = phone
        self.profile = tempfile.mkdtemp(prefix="pelisto-browser-")
        if engine == "chromium":
            o = webdriver.ChromeOptions()
            o.binary_location = shutil.which("chromium")
            for a in ("--headless=new", "--no-sandbox", "--disable-gpu",
                      "--disable-background-networking", "--disable-component-update",
                      "--disable-sync", "--no-first-run", "--disable-extensions",
                      "--hide-scrollbars", "--user-data-dir=" + self.profile):
                o.add_argument(a)
            if phone:
                o.add_experimental_option("mobileEmulation", {"deviceMetrics": {
                    "width": 390, "height": 844, "pixelRatio": 3.0, "touch": True}})
            else:
                o.add_argument("--window-size=%d,%d" % DESKTOP)
            o.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
            from selenium.webdriver.chrome.service import Service
            self.driver = webdriver.Chrome(service=Service(shutil.which("chromedriver")), options=o)
            if not phone:
                self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                    "width": DESKTOP[0], "height": DESKTOP[1], "deviceScaleFactor": 1,
                    "mobile": False})
            # Counts the Blob URLs alive, from before the page's script runs.
            self.driver.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                        {"source": BLOB_COUNTER})
        else:
            from selenium.webdriver.webkitgtk.options import Options
            o = Options()
            o.binary_location = WEBKIT_BROWSER
            o.add_argument("--automation")
            self.driver = webdriver.WebKitGTK(executable_path=shutil.which("WebKitWebDriver"),
                                              options=o)
            # The window has a tool bar: size it so the page's viewport is the desktop size.
            self.driver.set_window_size(*DESKTOP)
            inner = self.driver.execute_script("return [innerWidth, innerHeight]")
            self.driver.set_window_size(2 * DESKTOP[0] - inner[0], 2 * DESKTOP[1] - inner[1])

    def open(self, page):
        self.gather()
        self.driver.get("file://" + page)
        if self.engine == "webkit":
            # No hook before the page's script here: the Blob URLs made from now on are counted.
            self.driver.execute_script(BLOB_COUNTER + """
                window.__errors = [];
                window.addEventListener('error', (e) => window.__errors.push(String(e.message)));
                window.addEventListener('unhandledrejection', (e) => window.__errors.push(String(e.reason)));""")

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def screen(self):
        return Image.open(io.BytesIO(self.driver.get_screenshot_as_png())).convert("RGB")

    def device_size(self):
        return tuple(self.js("return [Math.round(innerWidth * devicePixelRatio),"
                             " Math.round(innerHeight * devicePixelRatio)]"))

    def keys(self, *keys):
        chain = ActionChains(self.driver)
        for k in keys:
            chain.send_keys(k)
        chain.perform()

    def touch(self, points):
        """One finger along the CSS pixel points: a tap with one point, a swipe with several."""
        cdp = lambda kind, pts: self.driver.execute_cdp_cmd(
            "Input.dispatchTouchEvent", {"type": kind, "touchPoints": pts})
        cdp("touchStart", [{"x": points[0][0], "y": points[0][1]}])
        for x, y in points[1:]:
            cdp("touchMove", [{"x": x, "y": y}])
        cdp("touchEnd", [])

    def click(self, x, y):
        self.js("""
            const e = new MouseEvent('click', {bubbles: true, clientX: arguments[0],
                                               clientY: arguments[1], button: 0});
            document.elementFromPoint(arguments[0], arguments[1]).dispatchEvent(e);""", x, y)

    def gather(self):
        """Keeps the URLs fetched and the console errors of the page open until now."""
        if self.engine == "chromium":
            # What the pages asked for; the browser's own start page is none of ours.
            for entry in self.driver.get_log("performance"):
                message = json.loads(entry["message"])["message"]
                params = message["params"]
                if (message["method"] == "Network.requestWillBeSent" and
                        params.get("documentURL", "").startswith("file:")):
                    self.urls.append(params["request"]["url"])
            self.logged += [e["message"] for e in self.driver.get_log("browser")
                            if e["level"] in ("SEVERE", "WARNING")]
        elif self.driver.current_url.startswith("file:"):
            self.urls += self.js("return performance.getEntriesByType('resource')"
                                 ".map((e) => e.name)")
            self.logged += self.js("return window.__errors || []")

    def taken(self):
        """The URLs and errors gathered since the last call."""
        self.gather()
        urls, logged = self.urls, self.logged
        self.urls, self.logged = [], []
        return urls, logged

    def quit(self):
        self.driver.quit()
        shutil.rmtree(self.profile, ignore_errors=True)


# --- what the screen shows -------------------------------------------------------------------

def near(c, want, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(c, want))


def centre_colour(b):
    img = b.screen()
    return img.getpixel((img.width // 2, img.height // 2))


def expect_centre(b, colour, what, timeout=15.0):
    seen = poll(lambda: (lambda c: c if near(c, colour) else None)(centre_colour(b)), timeout)
    check(seen is not None, what + ("" if seen else " (centre is %s, want %s)" % (
        centre_colour(b), colour)))


def green_width(b):
    """Width of the green run through the screen's centre row, in device pixels."""
    img = b.screen()
    y = img.height // 2
    return sum(1 for x in range(img.width) if near(img.getpixel((x, y)), GREEN))


def psnr(a, b):
    ha, hb = a.tobytes(), b.tobytes()
    se = sum((x - y) * (x - y) for x, y in zip(ha, hb))
    return float("inf") if se == 0 else 10 * math.log10(255 * 255 * len(ha) / se)


def hint_gone(b):
    b.keys(Keys.SHIFT)  # any key hides the hint; Shift does nothing else
    return poll(lambda: b.js("return getComputedStyle(document.getElementById('hint'))"
                             ".opacity === '0'"), 10)


def expect_fitted(b, jpeg, fit_cases, what):
    """The first picture fitted and centred: the screenshot against Pillow's Lanczos scaling of
    the page's own JPEG to the rectangle the C++ fit gives, by PSNR; outside it all black."""
    check(hint_gone(b), what + ": the hint fades")
    ww, wh = b.device_size()
    source = Image.open(io.BytesIO(jpeg)).convert("RGB")
    left, top, width, height = fit_rect(fit_cases, source.width, source.height, ww, wh)
    reference = source.resize((width, height), Image.LANCZOS)
    shot = b.screen()
    check(shot.size == (ww, wh), "%s: the screenshot is the %dx%d screen (got %s)" % (
        what, ww, wh, shot.size))
    inside = shot.crop((left, top, left + width, top + height))
    quality = psnr(inside, reference)
    check(quality >= 30, "%s: fitted to %dx%d at %d,%d, PSNR %.1f dB against the reference" % (
        what, width, height, left, top, quality))
    outside = [(x, y) for x, y in ((left - 3, wh // 2), (left + width + 2, wh // 2),
                                   (ww // 2, top - 3), (ww // 2, top + height + 2))
               if 0 <= x < ww and 0 <= y < wh]
    check(all(near(shot.getpixel(p), (0, 0, 0), 8) for p in outside),
          what + ": black around the picture")


# --- the cases -------------------------------------------------------------------------------

def fit_matches(b, fit_cases):
    cases = json.loads(subprocess.run([fit_cases], capture_output=True, text=True,
                                      check=True).stdout)
    answers = b.js("""
        const [fit, zoom] = arguments;
        return [fit.map((c) => window.pelisto.fitRect(c[0], c[1], c[2], c[3])),
                zoom.map((c) => window.pelisto.zoomSize(c[0], c[1], c[2], c[3], c[4], c[5]))];""",
                   cases["fit"], cases["zoom"])
    wrong = [c for c, a in zip(cases["fit"], answers[0]) if list(a) != c[4:]]
    check(not wrong, "the page's fit gives the C++ fit's answer for %d picture and screen sizes%s"
          % (len(cases["fit"]), "" if not wrong else " (first wrong: %s)" % wrong[0]))
    wrong = [c for c, a in zip(cases["zoom"], answers[1]) if list(a) != c[6:]]
    check(not wrong, "the page's zoom gives the C++ zoom's answer for %d steps%s" % (
        len(cases["zoom"]), "" if not wrong else " (first wrong: %s)" % wrong[0]))


def play_desktop(b, pages, fit_cases):
    b.open(pages["play"])
    check(b.device_size() == DESKTOP, "the page's viewport is 1280x720 (got %s)" % (
        b.device_size(),))
    check(b.driver.title == "play.html", "the title is the file's name (got %r)" % b.driver.title)
    fit_matches(b, fit_cases)
    jpegs = page_pictures(pages["play"])
    expect_fitted(b, jpegs[0], fit_cases, "desktop")
    photo_centre = centre_colour(b)
    steps = [(Keys.SPACE, GREEN, "Space steps to the second picture"),
             (Keys.ARROW_RIGHT, BLUE, "Right steps to the third"),
             (Keys.PAGE_DOWN, photo_centre, "Page Down on the last wraps to the first"),
             (Keys.BACKSPACE, BLUE, "Backspace on the first wraps to the last"),
             (Keys.ARROW_LEFT, GREEN, "Left steps back"),
             (Keys.PAGE_UP, photo_centre, "Page Up steps back to the first"),
             (Keys.SPACE, GREEN, "Space again")]
    for key, colour, what in steps:
        b.keys(key)
        expect_centre(b, colour, what)
    check(poll(lambda: green_width(b) == 300), "the small picture shows at its natural 300 pixels")
    b.keys("+")
    check(poll(lambda: green_width(b) == 400), "+ widens it by 100 (%d)" % green_width(b))
    b.keys("-", "-", "-")
    check(poll(lambda: green_width(b) == 100), "- three times narrows it to the 100 minimum (%d)"
          % green_width(b))
    b.keys("*")
    check(poll(lambda: green_width(b) == 300), "* fits it again (%d)" % green_width(b))
    # The first click asks for full screen and does no more; the next ones step.
    b.click(300, 300)
    b.click(300, 300)
    expect_centre(b, BLUE, "a click steps forward")
    check(b.js("return document.images.length") == 1, "one picture in the document")

    # A picture whose size the writer could not read from its header is fitted by its decoded
    # size.
    b.open(pages["sizeless"])
    expect_fitted(b, jpegs[0], fit_cases, "without the size in the page")


def play_phone(b, pages, fit_cases):
    b.open(pages["play"])
    check(b.device_size() == (1170, 2532), "the phone's screen is 1170x2532 device pixels (got %s)"
          % (b.device_size(),))
    expect_fitted(b, page_pictures(pages["play"])[0], fit_cases, "phone")
    photo_centre = centre_colour(b)
    b.touch([(300, 400)])  # the first tap asks for full screen
    b.touch([(300, 400)])
    expect_centre(b, GREEN, "a tap on the right half steps forward")
    b.touch([(80, 400)])
    expect_centre(b, photo_centre, "a tap on the left half steps back")
    b.touch([(300, 400), (250, 405), (150, 410), (60, 410)])
    expect_centre(b, GREEN, "a swipe to the left steps forward")
    b.touch([(60, 400), (150, 405), (250, 410), (330, 410)])
    expect_centre(b, photo_centre, "a swipe to the right steps back")
    b.touch([(80, 400)])
    expect_centre(b, BLUE, "a tap on the left half of the first wraps to the last")


def automatic(b, pages):
    b.open(pages["auto"])
    seen_green = poll(lambda: near(centre_colour(b), GREEN))
    check(bool(seen_green), "the automatic show starts on its first picture")
    expect_centre(b, BLUE, "it advances by itself", timeout=20)
    elapsed = b.js("return performance.now()")
    check(elapsed >= 3000, "not before the 3-second delay (%.0f ms after the start)" % elapsed)
    expect_centre(b, GREEN, "and wraps to the first", timeout=20)
    # A step by hand restarts the period: 2 s into it, Space shows the second, which stays
    # past the moment the old period would have ended (1 s later) until a whole period is over.
    time.sleep(2.0)
    pressed = b.js("return performance.now()")
    b.keys(Keys.SPACE)
    expect_centre(b, BLUE, "Space steps by hand")
    poll(lambda: b.js("return performance.now()") >= pressed + 2000, 5)
    check(near(centre_colour(b), BLUE), "the picture stepped to by hand is not cut short")
    expect_centre(b, GREEN, "and the advance comes a whole period after the step", timeout=20)
    elapsed = b.js("return performance.now()") - pressed
    check(elapsed >= 3000, "not before (%.0f ms after the step)" % elapsed)


def many(b, pages):
    b.open(pages["many60"])
    colours = [hue(i, 60) for i in range(60)]
    expect_centre(b, colours[0], "60 pictures: the first")
    b.keys(*([Keys.SPACE] * 64))
    expect_centre(b, colours[4], "64 Spaces in a burst land on the fifth, round the show")
    blobs = b.js("return window.__blobs")
    # (WebKit counts only the URLs made after the page loaded.)
    check(blobs["most"] <= 3 and blobs["made"] >= 60,
          "no more than 3 pictures held at once while stepping through 60 (most %d of %d made)"
          % (blobs["most"], blobs["made"]))
    check(b.js("return document.images.length") == 1, "one picture in the document")

    b.open(pages["many200"])
    colours = [hue(i, 200) for i in range(200)]
    expect_centre(b, colours[0], "200 pictures: the first", timeout=30)
    b.keys(Keys.BACKSPACE)
    expect_centre(b, colours[199], "Backspace on the first shows the 200th", 10)
    b.keys(Keys.SPACE, Keys.SPACE)
    expect_centre(b, colours[1], "two Spaces show the second")

    b.open(pages["big"])
    size = len(page_pictures(pages["big"])[0])
    check(size >= 20_000_000, "the big page holds a JPEG of %.1f MB" % (size / 1e6))
    # Noise averages to grey: the fitted picture covers the centre, black surrounds it.
    shows = poll(lambda: (lambda c: 60 < sum(c) / 3 < 200)(centre_colour(b)), 60)
    check(bool(shows), "the 20 MB picture is shown (centre %s)" % (centre_colour(b),))


def shuffle_and_stop(b, pages):
    """Shuffle shows every picture once a round and Backspace retraces them; a show that stops
    at the end stays on its last picture, whatever the timer or Space."""
    b.open(pages["shuffle"])
    colours = [hue(i, 4) for i in range(4)]
    shown = []
    for step in range(12):
        index = b.js("return window.pelisto.order.current()")
        expect_centre(b, colours[index], "shuffle, step %d shows picture %d" % (step, index))
        shown.append(index)
        b.keys(Keys.SPACE)
    check(all(sorted(shown[r:r + 4]) == [0, 1, 2, 3] for r in (0, 4, 8)),
          "shuffle shows every picture once a round (%s)" % shown)
    b.keys(Keys.BACKSPACE, Keys.BACKSPACE)
    expect_centre(b, colours[shown[10]], "Backspace goes back through what was shown")

    b.open(pages["stop"])
    expect_centre(b, colours[3], "the automatic show reaches its last picture", timeout=10)
    time.sleep(2.5)
    check(near(centre_colour(b), colours[3]), "and stays there past two more delays")
    b.keys(Keys.SPACE)
    time.sleep(0.5)
    check(near(centre_colour(b), colours[3]), "Space on the last picture stays")
    b.keys(Keys.BACKSPACE)
    expect_centre(b, colours[2], "Backspace steps back from it")


def fade_and_caption(b, pages, phone=False):
    """A crossfade's middle frame is half of each picture; a caption is a dark band at the foot
    with light text, over the picture."""
    if not phone:
        b.open(pages["fade"])
        expect_centre(b, GREEN, "crossfade: the first picture")
        b.keys(Keys.SPACE)
        fades = "document.getAnimations().filter((a) => a.effect.target.tagName === 'IMG')"
        started = poll(lambda: b.js("return %s.length" % fades), 10)
        check(started == 1, "a transition runs when stepping (%s)" % started)
        b.js("for (const a of %s) { a.pause(); a.currentTime = 1000; }" % fades)
        mix = tuple((g + u) // 2 for g, u in zip(GREEN, BLUE))
        # (WebKit draws the paused frame at its next rendering.)
        middle = poll(lambda: (lambda c: c if near(c, mix, 25) else None)(centre_colour(b)), 5)
        check(middle is not None, "the middle frame is a mix (%s, want %s)" % (
            centre_colour(b), mix))
        b.js("for (const a of %s) { a.finish(); }" % fades)
        expect_centre(b, BLUE, "and the fade ends on the second")
        check(poll(lambda: b.js("return document.images.length") == 1, 5),
              "the picture left goes once faded")

    b.open(pages["caption"])
    check(poll(lambda: b.js("return document.getElementById('caption').textContent")
               == "white.png"), "the caption is the file name")
    hint_gone(b)
    top, bottom, left, right = b.js("""
        const r = document.getElementById('caption').getBoundingClientRect();
        const p = document.querySelector('#stage img').getBoundingClientRect();
        return [r.top, r.bottom, p.left, p.right].map((v) => Math.round(v * devicePixelRatio));""")
    ww, wh = b.device_size()
    check(bottom == wh, "the band ends at the foot of the screen (%d of %d)" % (bottom, wh))
    shot = b.screen()
    row = [shot.getpixel((x, (top + bottom) // 2)) for x in range(left + 2, right - 2)]
    dark = sum(1 for c in row if 50 < sum(c) / 3 < 130)
    light = sum(1 for c in row if sum(c) / 3 > 200)
    check(dark > len(row) // 2 and light > 3,
          "a dark band over the white picture with light text in it (%d dark, %d light of %d)"
          % (dark, light, len(row)))
    above = shot.getpixel(((left + right) // 2, top - 4))
    check(near(above, (255, 255, 255), 10), "above it the picture as it is (%s)" % (above,))


def video_plays(b, pages):
    """The MP4 video plays to its end in a <video> element, with no error, ending on its last
    picture."""
    b.open(pages["video"])
    state = poll(lambda: b.js("""
        const v = document.querySelector('video');
        return v.ended || v.error ? {ended: v.ended, error: v.error && v.error.code,
                                     time: v.currentTime, duration: v.duration,
                                     size: [v.videoWidth, v.videoHeight]} : null;"""), 30)
    check(bool(state) and state["ended"] and state["error"] is None,
          "the video plays to its end with no error (%s)" % (state,))
    if state:
        check(abs(state["duration"] - 2) < 0.05 and state["time"] >= state["duration"] - 0.05
              and state["size"] == [640, 360], "2 s of 640x360, played through (%s)" % (state,))
    expect_centre(b, BLUE, "the video ends on its last picture")


def quiet(b, what, pages):
    """Since the last look: no request but the pages opened and their blob: URLs, no error."""
    urls, errors = b.taken()
    opened = {"file://" + p for p in pages.values()}
    fetched = [u for u in urls if not u.startswith("blob:") and u not in opened]
    check(not fetched, "%s: no request but the pages and their blob: URLs%s" % (
        what, "" if not fetched else " (%s)" % fetched[:3]))
    check(not errors, "%s: no console error%s" % (what, "" if not errors else " (%s)" % errors[:3]))


def make_pages(bin_folder, work):
    p = lambda name: os.path.join(work, name)
    photo_png = photo(p("photo.png"), 1600, 1200)
    green = solid(p("green.png"), (300, 200), GREEN)
    blue = solid(p("blue.png"), (500, 900), BLUE)
    pages = {"play": build(bin_folder, p("play.html"), [photo_png, green, blue], "-q", "90"),
             "auto": build(bin_folder, p("auto.html"), [green, blue], "--auto", "--delay", "3")}
    with open(pages["play"], encoding="utf-8") as f:
        sizeless = re.sub(r' data-(width|height)="\d+"', "", f.read())
    pages["sizeless"] = p("sizeless.html")
    with open(pages["sizeless"], "w", encoding="utf-8") as f:
        f.write(sizeless)
    sixty = [solid(p("s%02d.png" % i), (64, 48), hue(i, 60)) for i in range(60)]
    pages["many60"] = build(bin_folder, p("many60.html"), sixty)
    two_hundred = [solid(p("h%03d.png" % i), (32, 24), hue(i, 200)) for i in range(200)]
    pages["many200"] = build(bin_folder, p("many200.html"), two_hundred)
    # Noise hardly compresses: at quality 100 it makes a JPEG of over 20 MB.
    noise = Image.frombytes("RGB", (5200, 3200), os.urandom(5200 * 3200 * 3))
    noise.save(p("noise.bmp"))
    pages["big"] = build(bin_folder, p("big.html"), [p("noise.bmp")], "-q", "100")
    four = [solid(p("f%d.png" % i), (64, 48), hue(i, 4)) for i in range(4)]
    pages["shuffle"] = build(bin_folder, p("shuffle.html"), four, "--shuffle")
    pages["stop"] = build(bin_folder, p("stop.html"), four, "--stop-at-end", "--auto", "--delay",
                          "1")
    pages["fade"] = build(bin_folder, p("fade.html"), [green, blue], "--crossfade", "2")
    white = solid(p("white.png"), (1000, 3000), (255, 255, 255))
    pages["caption"] = build(bin_folder, p("caption.html"), [white], "--caption", "name")
    # The video, and a page that plays it (the video counts as a page for the requests made).
    pages["clip"] = build(bin_folder, p("clip.mp4"), [green, blue], "--delay", "1", "--fit",
                          "640x360")
    pages["video"] = p("video.html")
    with open(pages["video"], "w", encoding="utf-8") as f:
        f.write('<!DOCTYPE html><html><body style="margin:0;background:#000">'
                '<video muted autoplay playsinline src="clip.mp4" '
                'style="display:block;width:100vw;height:100vh"></video></body></html>')
    return pages


def main():
    engine, bin_folder, fit_cases, work = sys.argv[1:5]
    if engine == "chromium" and not (shutil.which("chromium") and shutil.which("chromedriver")):
        print("skipped: chromium or chromedriver is missing")
        return SKIP
    if engine == "webkit" and not (shutil.which("WebKitWebDriver") and
                                   os.path.exists(WEBKIT_BROWSER) and os.environ.get("DISPLAY")):
        print("skipped: WebKitWebDriver, MiniBrowser or a display is missing")
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    pages = make_pages(bin_folder, os.path.abspath(work))

    sizes = [False, True] if engine == "chromium" else [False]
    for phone in sizes:
        b = Browser(engine, phone)
        try:
            if phone:
                play_phone(b, pages, fit_cases)
                fade_and_caption(b, pages, phone=True)
                quiet(b, "phone", pages)
            else:
                play_desktop(b, pages, fit_cases)
                quiet(b, "desktop", pages)
                automatic(b, pages)
                quiet(b, "automatic", pages)
                many(b, pages)
                quiet(b, "many pictures", pages)
                shuffle_and_stop(b, pages)
                fade_and_caption(b, pages)
                quiet(b, "playback options", pages)
                video_plays(b, pages)
                quiet(b, "video", pages)
        finally:
            b.quit()
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

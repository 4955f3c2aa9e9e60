#!/usr/bin/env python3
"""Makes MP4 videos with pelisto-build and reads them back with other tools: ffprobe for the
stream, ffmpeg for the frames (against ImageMagick's Lanczos scaling of the same pictures, by
PSNR), tesseract for the captions.

    video_test.py stream|frames|errors BIN_FOLDER FIT_CASES WORK_FOLDER

stream: codec, profile, pixel format, frame size, rate, colour tags, duration and the index at
the front, for several frame sizes and timings. frames: each picture's middle frame against its
reference, the middle of a crossfade against the mix of its two pictures, captions read back.
errors: what a failed build prints, and that it leaves the folder as it was. Needs python3-pil,
ffmpeg, ImageMagick and tesseract; exits 77 (skipped) when one is missing.
"""

import json
import math
import os
import re
import shutil
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from build_runs import build, fit_rect  # noqa: E402

SKIP = 77
failures = []

try:
    from PIL import Image, ImageChops, ImageDraw, ImageOps, ImageStat
except ImportError as e:
    print("skipped: %s" % e)
    sys.exit(SKIP)

FPS = 25
# ImageMagick's own convert: the reference scaler.
CONVERT = "/usr/bin/convert"
# Luma PSNR, in dB, that a frame must reach against its reference. Frames of the right picture
# at the right place score 43 dB and more; a reference shifted by 2 pixels, or a frame read with
# the BT.601 matrix, scores 31 dB at most (both are tried on every picture below).
MATCH_DB = 38


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        failures.append(what)


# --- pictures and videos ---------------------------------------------------------------------

def photo(path, width, height, flip=False):
    """Smooth gradients with a few sharp shapes: scaling and placement show in a PSNR."""
    ramp = Image.frombytes("L", (256, 1), bytes(range(256)))
    across = ramp.resize((width, height), Image.BILINEAR)
    down = ramp.rotate(-90, expand=True).resize((width, height), Image.BILINEAR)
    if flip:
        across = ImageOps.mirror(across)
    img = Image.merge("RGB", (across, down, ImageChops.add(across, down, scale=2)))
    d = ImageDraw.Draw(img)
    d.ellipse((width // 4, height // 4, width // 2, height // 2), fill=(250, 240, 30))
    d.rectangle((width * 3 // 5, height // 5, width * 4 // 5, height * 3 // 5), fill=(30, 30, 200))
    img.save(path, quality=95) if path.endswith(".jpg") else img.save(path)
    return path


def probe(video):
    return json.loads(subprocess.run(
        ["ffprobe", "-v", "error", "-show_streams", "-show_format", "-of", "json", video],
        capture_output=True, text=True, check=True).stdout)


def top_boxes(path):
    """The MP4 file's top-level box types in file order."""
    boxes = []
    with open(path, "rb") as f:
        end = os.fstat(f.fileno()).st_size
        at = 0
        while at + 8 <= end:
            f.seek(at)
            head = f.read(16)
            size, kind = int.from_bytes(head[:4], "big"), head[4:8].decode("latin-1")
            if size == 1:
                size = int.from_bytes(head[8:16], "big")
            elif size == 0:
                size = end - at
            if size < 8:
                break
            boxes.append(kind)
            at += size
    return boxes


def frames(video, numbers, folder, matrix="bt709"):
    """Frames `numbers` of the video as RGB pictures, converted from limited-range YUV with the
    given matrix (whatever the file's tags say)."""
    os.makedirs(folder, exist_ok=True)
    for old in os.listdir(folder):
        os.remove(os.path.join(folder, old))
    pick = "+".join("eq(n\\,%d)" % n for n in sorted(numbers))
    subprocess.run(["ffmpeg", "-v", "error", "-i", video, "-vf",
                    "select=%s,scale=in_color_matrix=%s:in_range=tv:"
                    "flags=bicubic+accurate_rnd+full_chroma_int,format=rgb24" % (pick, matrix),
                    "-vsync", "passthrough", os.path.join(folder, "%04d.png")], check=True)
    shots = sorted(os.listdir(folder))
    got = {n: Image.open(os.path.join(folder, s)).convert("RGB")
           for n, s in zip(sorted(numbers), shots)}
    if len(shots) != len(set(numbers)):
        raise RuntimeError("%s: %d of frames %s decoded" % (video, len(shots), numbers))
    return got


def reference(fit_cases, picture, frame_size, work, shift=0):
    """The picture as the video should show it: turned upright, shrunk with ImageMagick's Lanczos
    filter to the screen fit's size, centred on black; with its rectangle (left, top, width,
    height)."""
    ww, wh = frame_size
    with Image.open(picture) as p:
        upright = ImageOps.exif_transpose(p).size
    left, top, width, height = fit_rect(fit_cases, *upright, ww, wh)
    out = os.path.join(work, "ref-%s-%dx%d-%d.png" % (os.path.basename(picture), ww, wh, shift))
    subprocess.run([CONVERT, "-size", "%dx%d" % (ww, wh), "xc:black", "(", picture, "-auto-orient", "-filter",
                    "Lanczos", "-resize", "%dx%d!" % (width, height), ")", "-geometry",
                    "+%d+%d" % (left + shift, top), "-composite", out], check=True)
    return Image.open(out).convert("RGB"), (left, top, width, height)


def psnr(a, b, box=None):
    """Luma PSNR of two RGB pictures, within box (left, top, right, bottom) when given."""
    if box:
        a, b = a.crop(box), b.crop(box)
    hist = ImageChops.difference(a.convert("L"), b.convert("L")).histogram()
    se = sum(count * value * value for value, count in enumerate(hist))
    return float("inf") if se == 0 else 10 * math.log10(255 * 255 * a.width * a.height / se)


def around(rect, size, margin):
    """The rectangle grown by margin, within the frame, as a crop box."""
    left, top, width, height = rect
    return (max(left - margin, 0), max(top - margin, 0), min(left + width + margin, size[0]),
            min(top + height + margin, size[1]))


def brightest_outside(shot, rect, margin=4):
    """The brightest luma of the frame more than margin pixels away from rect: black is 0."""
    left, top, width, height = rect
    luma = shot.convert("L")
    strips = [(0, 0, left - margin, shot.height), (left + width + margin, 0, shot.width,
                                                    shot.height),
              (0, 0, shot.width, top - margin), (0, top + height + margin, shot.width,
                                                 shot.height)]
    return max([luma.crop(s).getextrema()[1] for s in strips if s[2] > s[0] and s[3] > s[1]],
               default=0)


# --- the cases -------------------------------------------------------------------------------

def stream(bin_folder, fit_cases, work):
    """What players read before the first frame: codec, profile, format, size, rate, colour
    tags, duration and where the index lies."""
    p = lambda name: os.path.join(work, name)
    land = photo(p("land.png"), 2400, 1500)
    port = photo(p("port.png"), 900, 1600)
    small = photo(p("small.png"), 301, 201)
    # name, options, pictures, delay, frame, the encoder's rate factor (from -q: 75, the default,
    # is the encoder's own 23; 100 is 14, 1 is 40)
    rows = [("small", ["--fit", "small"], [land, port, small], 2, (1280, 720), 23),
            ("original", ["-q", "100"], [land, small], 1, (1920, 1080), 14),
            ("an odd box loses a pixel", ["--fit", "641x361", "-q", "1"], [land], 3, (640, 360),
             40),
            ("a crossfade takes no time of its own", ["--fit", "small", "--crossfade", "1"],
             [land, port, small], 2, (1280, 720), 23),
            ("a crossfade longer than half a picture's time", ["--fit", "small", "--crossfade",
                                                              "5"], [port, land], 1, (1280, 720),
             23),
            ("--target video whatever the name", ["--target", "video", "--fit", "small"],
             [small], 1, (1280, 720), 23)]
    for i, (what, options, pictures, delay, frame, crf) in enumerate(rows):
        out = p("stream%d.%s" % (i, "bin" if "--target" in options else "mp4"))
        build(bin_folder, out, pictures, "--delay", str(delay), *options)
        info = probe(out)
        streams = info["streams"]
        check(len(streams) == 1, "%s: one stream, no sound (%d)" % (what, len(streams)))
        s = streams[0]
        got = {k: s.get(k) for k in ("codec_name", "profile", "pix_fmt", "r_frame_rate",
                                     "avg_frame_rate", "color_space", "color_transfer",
                                     "color_primaries", "color_range", "sample_aspect_ratio")}
        want = {"codec_name": "h264", "profile": "High", "pix_fmt": "yuv420p",
                "r_frame_rate": "%d/1" % FPS, "avg_frame_rate": "%d/1" % FPS,
                "color_space": "bt709", "color_transfer": "bt709", "color_primaries": "bt709",
                "color_range": "tv", "sample_aspect_ratio": "1:1"}
        check(got == want, "%s: H.264 High, yuv420p, %d fps, BT.709 limited range%s" % (
            what, FPS, "" if got == want else " (%s)" % {k: v for k, v in got.items()
                                                         if want[k] != v}))
        check((s["width"], s["height"]) == frame, "%s: the frame is %dx%d (got %dx%d)" % (
            what, *frame, s["width"], s["height"]))
        check(s.get("level", 99) <= 42, "%s: level %s, which phones play" % (what, s.get("level")))
        seconds = len(pictures) * delay
        duration = float(info["format"]["duration"])
        check(abs(duration - seconds) < 1 / FPS and int(s["nb_frames"]) == seconds * FPS,
              "%s: %d pictures of %d s last %.3f s in %s frames" % (
                  what, len(pictures), delay, duration, s["nb_frames"]))
        # The encoder writes its settings into the stream.
        with open(out, "rb") as f:
            used = re.search(rb"x264 - core .*? crf=([0-9.]+)", f.read())
        check(used is not None and float(used.group(1)) == crf, "%s: rate factor %s (want %d)" % (
            what, used and used.group(1).decode(), crf))
        boxes = top_boxes(out)
        check("moov" in boxes and "mdat" in boxes and boxes.index("moov") < boxes.index("mdat"),
              "%s: the index comes before the pictures, so it streams (%s)" % (what, boxes))


def pictures_fitted(bin_folder, fit_cases, work):
    """Each picture's middle frame against its reference; the threshold is shown to fail a
    reference 2 pixels off and a frame read with the wrong matrix."""
    p = lambda name: os.path.join(work, name)
    land = photo(p("land.png"), 2400, 1500)
    port = photo(p("port.png"), 900, 1600)
    small = photo(p("small.png"), 301, 201)
    tall = photo(p("tall.jpg"), 700, 1300, flip=True)
    # A camera's landscape photo of a portrait scene: stored on its side, turned by its EXIF tag.
    turned = p("turned.jpg")
    ex = Image.Exif()
    ex[0x0112] = 6  # turn 90 degrees clockwise to show
    Image.open(photo(p("side.png"), 2400, 1500)).save(turned, quality=95, exif=ex)
    # options, pictures, frame: larger, portrait, smaller than the frame (never enlarged), turned
    videos = [(["--fit", "small"], [land, port, small, turned], (1280, 720)),
              ([], [tall, small, land], (1920, 1080))]
    delay = 2
    for v, (options, pictures, frame) in enumerate(videos):
        out = build(bin_folder, p("fit%d.mp4" % v), pictures, "--delay", str(delay), *options)
        middles = [i * delay * FPS + delay * FPS // 2 for i in range(len(pictures))]
        shots = frames(out, middles, p("frames"))
        wrong = frames(out, middles, p("frames"), "bt601")
        for picture, n in zip(pictures, middles):
            what = "%s in %dx%d" % (os.path.basename(picture), *frame)
            ref, rect = reference(fit_cases, picture, frame, work)
            box = around(rect, frame, 4)
            quality = psnr(shots[n], ref, box)
            check(quality >= MATCH_DB, "%s: frame %d shows it at %s, %.1f dB against the "
                  "reference" % (what, n, rect, quality))
            off = psnr(shots[n], reference(fit_cases, picture, frame, work, shift=2)[0], box)
            matrix = psnr(wrong[n], ref, box)
            check(off < MATCH_DB and matrix < MATCH_DB, "%s: 2 pixels off scores %.1f dB, the "
                  "BT.601 matrix %.1f dB, both below %d" % (what, off, matrix, MATCH_DB))
            bright = brightest_outside(shots[n], rect)
            check(bright <= 20, "%s: black around it (brightest %d)" % (what, bright))

    # A crossfade of 1 s (25 frames) opens the second picture's 2 s (50 frames): its frame 12
    # weighs both pictures alike.
    out = build(bin_folder, p("fade.mp4"), [land, port], "--fit", "small", "--delay", "2",
                "--crossfade", "1")
    frame = (1280, 720)
    first = reference(fit_cases, land, frame, work)[0]
    second = reference(fit_cases, port, frame, work)[0]
    mix = Image.blend(first, second, 0.5)
    # frame, what it shows, what
    rows = [(0, first, "the show opens on the first picture, with no fade"),
            (49, first, "the first picture is whole to the end of its time"),
            (62, mix, "the middle of the fade is half of each"),
            (75, second, "the fade is over after 25 frames")]
    shots = frames(out, [r[0] for r in rows], p("frames"))
    for n, want, what in rows:
        quality = psnr(shots[n], want)
        check(quality >= MATCH_DB, "crossfade, frame %d: %s (%.1f dB)" % (n, what, quality))
    alone = max(psnr(shots[62], first), psnr(shots[62], second))
    check(alone < 30, "crossfade: the middle frame is far from either picture alone (%.1f dB)"
          % alone)


def captions(bin_folder, fit_cases, work):
    """A caption is a dark band at the foot whose text reads as the name of the picture shown
    above it, shuffled or not; without captions the foot is the picture's."""
    p = lambda name: os.path.join(work, name)
    harbour = photo(p("Harbour.jpg"), 2400, 1350)
    lighthouse = photo(p("Lighthouse.png"), 2000, 1125, flip=True)
    quay = p("Quay.png")
    ImageOps.flip(Image.open(harbour)).save(quay)
    # what, frame, options, pictures
    rows = [("small", (1280, 720), ["--fit", "small"], [harbour, lighthouse]),
            ("original", (1920, 1080), [], [harbour, lighthouse]),
            ("shuffled", (1280, 720), ["--fit", "small", "--shuffle"], [harbour, lighthouse, quay])]
    for what, frame, options, pictures in rows:
        refs = {c: reference(fit_cases, c, frame, work)[0] for c in pictures}
        shown = build(bin_folder, p("caption.mp4"), pictures, "--delay", "1", "--caption", "name",
                      *options)
        middles = [i * FPS + FPS // 2 for i in range(len(pictures))]
        with_band = frames(shown, middles, p("shown"))
        font = max(14, frame[1] // 30)
        above = (0, 0, frame[0], frame[1] - 3 * font)
        seen = []
        for n in middles:
            shot = with_band[n]
            # The picture shown: the one whose reference it matches above the band.
            picture = max(pictures, key=lambda c: psnr(shot, refs[c], above))
            seen.append(picture)
            name = os.path.basename(picture)
            at = "%s, frame %d" % (what, n)
            quality = psnr(shot, refs[picture], above)
            check(quality >= MATCH_DB, "%s: %s above the band as it is (%.1f dB)" % (
                at, name, quality))
            # The band's rows: much darker than the picture's own.
            luma, plain = shot.convert("L"), refs[picture].convert("L")
            mean = lambda img, y: ImageStat.Stat(img.crop((0, y, frame[0], y + 1))).mean[0]
            band = [y for y in range(frame[1] - 4 * font, frame[1])
                    if mean(luma, y) < 0.6 * mean(plain, y)]
            check(band == list(range(frame[1] - len(band), frame[1])) and
                  font * 3 // 2 <= len(band) <= font * 3,
                  "%s: a band of %d rows at the foot for a %d-pixel font" % (at, len(band), font))
            if not band:
                continue
            strip = luma.crop((0, band[0], frame[0], frame[1]))
            ImageOps.invert(strip).resize((strip.width * 3, strip.height * 3),
                                          Image.LANCZOS).save(p("band.png"))
            text = subprocess.run(["tesseract", p("band.png"), "-", "--psm", "7"],
                                  capture_output=True, text=True).stdout.strip()
            check(text == name, "%s: the band reads %r under %s" % (at, text, name))
        if "--shuffle" in options:
            check(sorted(seen) == sorted(pictures), "%s: every picture once (%s)" % (
                what, [os.path.basename(c) for c in seen]))
            continue
        check(seen == pictures, "%s: the pictures in their order" % what)
        plain = build(bin_folder, p("plain.mp4"), pictures, "--delay", "1", *options)
        without = frames(plain, middles, p("plain"))
        for picture, n in zip(pictures, middles):
            foot = (0, frame[1] - 3 * font, frame[0], frame[1])
            quality = psnr(without[n], refs[picture], foot)
            check(quality >= MATCH_DB, "%s, frame %d: without captions the foot is %s's "
                  "(%.1f dB)" % (what, n, os.path.basename(picture), quality))


def errors(bin_folder, fit_cases, work):
    """A build that fails says why and leaves the folder as it was: no file made, an old file
    of the same name untouched, nothing left beside it."""
    p = lambda name: os.path.join(work, name)
    good = photo(p("good.png"), 640, 480)
    damaged = p("damaged.png")
    with open(good, "rb") as f:
        head = f.read(2000)
    with open(damaged, "wb") as f:
        f.write(head)  # the PNG cut off in its picture data
    not_jpeg = p("text.jpg")
    with open(not_jpeg, "w") as f:
        f.write("not a picture")
    with open(p("afile"), "w") as f:
        f.write("a file, not a folder")
    old = b"an older video, kept"
    # what, output, pictures, what stderr says
    rows = [("a folder that does not exist", p("missing/show.mp4"), [good],
             [p("missing/show.mp4"), "No such file or directory"]),
            ("a file where the folder should be", p("afile/show.mp4"), [good],
             [p("afile/show.mp4"), "Not a directory"]),
            ("a damaged first picture", p("old1.mp4"), [damaged, good],
             ["Unable to convert %s to JPEG: " % damaged]),
            ("a damaged last picture, once frames are written", p("old2.mp4"),
             [good, good, not_jpeg], ["Unable to convert %s to JPEG: " % not_jpeg])]
    for what, out, pictures, said in rows:
        folder = os.path.dirname(out)
        if os.path.basename(out).startswith("old"):
            with open(out, "wb") as f:
                f.write(old)
        before = sorted(os.listdir(work))
        run = subprocess.run([os.path.join(bin_folder, "pelisto-build"), "-o", out, "--delay",
                              "2", "--crossfade", "1", "--", *pictures], capture_output=True,
                             text=True)
        check(run.returncode == 1 and all(s in run.stderr for s in said) and
              "wrote" not in run.stdout, "%s: exit %d, %r" % (
                  what, run.returncode, run.stderr.strip()))
        check(run.stderr.count("\n") == 1, "%s: one line of error" % what)
        if os.path.isdir(folder) and os.path.basename(out).startswith("old"):
            with open(out, "rb") as f:
                check(f.read() == old, "%s: the old file is untouched" % what)
        else:
            check(not os.path.exists(out), "%s: no file made" % what)
        check(sorted(os.listdir(work)) == before, "%s: nothing left in the folder (%s)" % (
            what, sorted(set(os.listdir(work)) ^ set(before))))


def main():
    mode, bin_folder, fit_cases, work = sys.argv[1:5]
    missing = [t for t in ("ffmpeg", "ffprobe", "tesseract") if not shutil.which(t)]
    if not os.path.exists(CONVERT):
        missing.append(CONVERT)
    if missing:
        print("skipped: %s missing" % ", ".join(missing))
        return SKIP
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    work = os.path.abspath(work)
    if mode == "stream":
        stream(bin_folder, fit_cases, work)
    elif mode == "frames":
        pictures_fitted(bin_folder, fit_cases, work)
        captions(bin_folder, fit_cases, work)
    elif mode == "errors":
        errors(bin_folder, fit_cases, work)
    else:
        print("unknown mode %s" % mode)
        return 2
    print("%d failure(s)" % len(failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

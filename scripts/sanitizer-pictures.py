#!/usr/bin/env python3
"""Writes COUNT photo-like pictures of 1600 x 1200 into FOLDER for the sanitizer runs, in turn
JPEG, PNG, TIFF, BMP, GIF, PCX, TGA, HEIC, AVIF, WebP and JPEG XL (the last four through their
own encoders), plus the test metafile: conversions of every kind run on several threads at once.
The JPEG, PNG and TIFF pictures carry a Display P3 or Adobe RGB profile in turn, so their colours
are converted on the workers too.
Usage: sanitizer-pictures.py FOLDER COUNT"""
import os
import random
import shutil
import subprocess
import sys

from PIL import Image, ImageChops, ImageDraw

folder, count = sys.argv[1], int(sys.argv[2])
os.makedirs(folder, exist_ok=True)
W, H = 1600, 1200
kinds = ["jpg", "png", "tif", "bmp", "gif", "pcx", "tga", "heic", "avif", "webp", "jxl"]
encoders = {
    "heic": lambda src, out: ["heif-enc", "-q", "80", src, "-o", out],
    "avif": lambda src, out: ["heif-enc", "-A", "-q", "80", "-p", "speed=9", src, "-o", out],
    "webp": lambda src, out: ["cwebp", "-quiet", "-q", "80", src, "-o", out],
    "jxl": lambda src, out: ["cjxl", "-e", "3", src, out],
}
root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
profiles = []
for fixture in ("display_p3.jpg", "adobe_rgb.tif"):
    with Image.open(os.path.join(root, "tests/fixtures/pictures", fixture)) as tagged:
        profiles.append(tagged.info["icc_profile"])
base = Image.linear_gradient("L")
for i in range(count - 1):
    rnd = random.Random(i)
    chans = []
    for c in range(3):
        g = base.rotate(rnd.choice([0, 90, 180, 270])).resize((W, H))
        n = Image.effect_noise((W, H), 20 + c * 5)
        chans.append(ImageChops.add(g, n, scale=1.3))
    im = Image.merge("RGB", chans)
    d = ImageDraw.Draw(im)
    for k in range(20):
        x0, y0, s = rnd.randrange(0, W - 300), rnd.randrange(0, H - 300), rnd.randrange(50, 300)
        d.ellipse([x0, y0, x0 + s, y0 + s], fill=tuple(rnd.randrange(256) for _ in range(3)))
    kind = kinds[i % len(kinds)]
    if kind == "gif":
        im = im.convert("P", palette=Image.ADAPTIVE)
    target = os.path.join(folder, "p%03d.%s" % (i, kind))
    if kind in encoders:
        source = target + ".png"
        im.save(source)
        subprocess.run(encoders[kind](source, target), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        os.remove(source)
    else:
        extra = {"icc_profile": profiles[i % 2]} if kind in ("jpg", "png", "tif") else {}
        im.save(target, quality=90, **extra)
shutil.copy(os.path.join(root, "tests/fixtures/wmf/shapes.wmf"),
            os.path.join(folder, "p%03d.wmf" % (count - 1)))

"""What the script tests share: a slideshow made by pelisto-build, and the screen fit's
rectangle as the C++ fit gives it (through the web test's small `web_fit_cases` program)."""

import os
import subprocess


def build(bin_folder, out, pictures, *options):
    run = subprocess.run([os.path.join(bin_folder, "pelisto-build"), "-o", out, *options, "--",
                          *pictures], capture_output=True, text=True)
    if run.returncode != 0:
        raise RuntimeError("pelisto-build failed: " + run.stderr)
    return out


def fit_rect(fit_cases, pw, ph, ww, wh):
    out = subprocess.run([fit_cases, str(pw), str(ph), str(ww), str(wh)], capture_output=True,
                         text=True, check=True).stdout.split()
    return tuple(int(v) for v in out)

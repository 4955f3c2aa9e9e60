#!/usr/bin/env bash
# Builds the same twenty 12-megapixel photos into a slideshow many times with an
# AddressSanitizer + UBSan pelisto-build and counts the builds that fail. A valid picture must
# never fail at random: any failure is kept with its log for a look.
# Usage: scripts/stress-build.sh [runs (default 50)] [build folder (default build-asan)]
# Not part of the test suite: a run of 50 takes about half an hour on two cores.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
runs=${1:-50}
build=${2:-$root/build-asan}
work=$(mktemp -d "${TMPDIR:-/tmp}/pelisto-stress.XXXXXX")

cmake -S "$root" -B "$build" -G Ninja -DPELISTO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$build" --target pelisto-build pelisto_viewer -j"${JOBS:-2}"

# Photo-like pictures: gradients, noise and shapes, as a camera's JPEG at quality 90.
/usr/bin/python3 - "$work/photos" <<'PY'
import os, random, sys
from PIL import Image, ImageChops, ImageDraw
out = sys.argv[1]
os.makedirs(out, exist_ok=True)
W, H = 4000, 3000
base = Image.linear_gradient("L")
for i in range(1, 21):
    rnd = random.Random(i)
    chans = []
    for c in range(3):
        g = base.rotate(rnd.choice([0, 90, 180, 270])).resize((W, H))
        n = Image.effect_noise((W, H), 20 + c * 5)
        chans.append(ImageChops.add(ImageChops.multiply(g, Image.new("L", (W, H), 200)), n, scale=1.3))
    im = Image.merge("RGB", chans)
    d = ImageDraw.Draw(im)
    for k in range(40):
        x0, y0, s = rnd.randrange(0, W - 600), rnd.randrange(0, H - 600), rnd.randrange(100, 600)
        col = tuple(rnd.randrange(256) for _ in range(3))
        if k % 2:
            d.ellipse([x0, y0, x0 + s, y0 + s], fill=col, outline=(0, 0, 0), width=6)
        else:
            d.rectangle([x0, y0, x0 + s, y0 + s], fill=col)
    im.save(os.path.join(out, "p%03d.jpg" % i), quality=90)
PY

# Reports go to files: pelisto-build catches what libraries print while it converts.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=0:detect_stack_use_after_return=1:log_path=$work/asan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$work/ubsan"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$work/runtime"
failures=0
reference=""
for i in $(seq 1 "$runs"); do
    if "$build/bin/pelisto-build" -o "$work/show.run" "$work"/photos/*.jpg >"$work/run.log" 2>&1; then
        sum=$(sha256sum "$work/show.run" | cut -d' ' -f1)
        if [ -z "$reference" ]; then
            reference=$sum
        elif [ "$sum" != "$reference" ]; then
            failures=$((failures + 1))
            cp "$work/show.run" "$work/differs-$i.run"
            echo "run $i: output differs from the first run's"
        fi
    else
        failures=$((failures + 1))
        cp "$work/run.log" "$work/failure-$i.log"
        echo "run $i failed:"
        tail -5 "$work/run.log"
        cat "$work"/asan.* "$work"/ubsan.* 2>/dev/null | head -30 || true
    fi
    echo "run $i of $runs done, $failures failed"
done
if [ "$failures" -eq 0 ]; then
    rm -rf "$work"
    echo "stress: $runs builds, no failure"
else
    echo "stress: $failures of $runs builds failed; logs in $work"
    exit 1
fi

#!/usr/bin/env bash
# Builds what conversion on several threads runs (the codec libraries, the builder and
# pelisto-build) with ThreadSanitizer (Debug), runs the tests that convert on several threads and
# a twenty-picture `pelisto-build -j 2` of every format, as a slideshow and as a video; any report
# fails the run.
# Usage: scripts/tsan.sh [build folder]   (build-tsan by default)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build-tsan}
jobs=${JOBS:-2}

# The Windows stub plays no part here; a slideshow for Linux is built.
cmake -S "$root" -B "$build" -G Ninja -DPELISTO_TSAN=ON -DCMAKE_BUILD_TYPE=Debug \
  -DPELISTO_WINDOWS_STUB=OFF
cmake --build "$build" --target test_codeclib test_app_threads pelisto-build pelisto_viewer \
  -j"$jobs"

supp="$root/tests/sanitizer/tsan.supp"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$supp"
export QT_QPA_PLATFORM=offscreen
work=$(mktemp -d "${TMPDIR:-/tmp}/pelisto-tsan.XXXXXX")
trap 'rm -rf "$work"' EXIT

status=0
echo "== test_app_threads (ThreadSanitizer)"
(cd "$build" && "$build/bin/test_app_threads" --gtest_brief=1 \
  --gtest_filter='BuilderTest.ConversionOnSeveralThreads*') || status=1
echo "== test_codeclib (ThreadSanitizer)"
(cd "$build" && "$build/bin/test_codeclib" --gtest_brief=1 \
  --gtest_filter='Robustness.DamagedTiffStrips*') || status=1

# pelisto-build catches what libraries print while it converts: the reports go to files.
/usr/bin/python3 "$root/scripts/sanitizer-pictures.py" "$work/pictures" 20
echo "== pelisto-build -j 2, 20 pictures (ThreadSanitizer)"
if ! TSAN_OPTIONS="$TSAN_OPTIONS:log_path=$work/tsan" XDG_RUNTIME_DIR="$work" \
  "$build/bin/pelisto-build" -j 2 -o "$work/show.run" "$work"/pictures/*; then
  status=1
fi
if ls "$work"/tsan.* >/dev/null 2>&1; then
  cat "$work"/tsan.* | head -80
  status=1
fi
# The same pictures fitted to a small screen: scaled decoding and the library's resize on both
# workers.
echo "== pelisto-build -j 2 --fit small, 20 pictures (ThreadSanitizer)"
rm -f "$work"/tsan.*
if ! TSAN_OPTIONS="$TSAN_OPTIONS:log_path=$work/tsan" XDG_RUNTIME_DIR="$work" \
  "$build/bin/pelisto-build" -j 2 --fit small -o "$work/small.run" "$work"/pictures/*; then
  status=1
fi
if ls "$work"/tsan.* >/dev/null 2>&1; then
  cat "$work"/tsan.* | head -80
  status=1
fi
# The same pictures as a video: converted on both workers while the frames are composed, mixed
# and handed to the encoder's own threads.
echo "== pelisto-build -j 2, 20 pictures to a video (ThreadSanitizer)"
rm -f "$work"/tsan.*
if ! TSAN_OPTIONS="$TSAN_OPTIONS:log_path=$work/tsan" XDG_RUNTIME_DIR="$work" \
  "$build/bin/pelisto-build" -j 2 --fit small --delay 1 --crossfade 0.5 --caption name \
  -o "$work/show.mp4" "$work"/pictures/*; then
  status=1
fi
if ls "$work"/tsan.* >/dev/null 2>&1; then
  cat "$work"/tsan.* | head -80
  status=1
fi
exit $status

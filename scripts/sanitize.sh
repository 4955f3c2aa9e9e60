#!/usr/bin/env bash
# Builds the codec libraries, the picture control and pelisto-build with AddressSanitizer and
# UBSan (Debug), runs the picture tests and a twenty-picture `pelisto-build -j 2` of every
# format, as a slideshow and as a video; any memory fault, leak or undefined behaviour fails the
# run.
# Usage: scripts/sanitize.sh [build folder]   (build-asan by default)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build-asan}
jobs=${JOBS:-2}

cmake -S "$root" -B "$build" -G Ninja -DPELISTO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" --target test_codeclib test_picture pelisto-build pelisto_viewer -j"$jobs"

# Leak reports for one-time allocations inside third-party libraries only, if any are listed.
lsan="detect_leaks=1:print_suppressions=0"
if [ -s "$root/tests/sanitizer/lsan.supp" ]; then
  lsan="$lsan:suppressions=$root/tests/sanitizer/lsan.supp"
fi
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:check_initialization_order=1:strict_init_order=1:detect_stack_use_after_return=1"
export LSAN_OPTIONS="$lsan"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
export QT_QPA_PLATFORM=offscreen

status=0
for test in test_codeclib test_picture; do
  echo "== $test (sanitized)"
  (cd "$build" && "$build/bin/$test" --gtest_brief=1) || status=1
done

# Pictures converted on two threads at once; pelisto-build catches what libraries print while
# it converts, so the reports go to files.
work=$(mktemp -d "${TMPDIR:-/tmp}/pelisto-asan.XXXXXX")
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 "$root/scripts/sanitizer-pictures.py" "$work/pictures" 20
echo "== pelisto-build -j 2, 20 pictures (sanitized)"
if ! ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$work/asan" UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$work/ubsan" \
  XDG_RUNTIME_DIR="$work" "$build/bin/pelisto-build" -j 2 -o "$work/show.run" "$work"/pictures/*; then
  status=1
fi
if ls "$work"/asan.* "$work"/ubsan.* >/dev/null 2>&1; then
  cat "$work"/asan.* "$work"/ubsan.* 2>/dev/null | head -60
  status=1
fi
# The same pictures as a video, at a frame whose sides are odd (one pixel is dropped from
# each): frames composed, mixed and copied into the encoder's buffers.
echo "== pelisto-build -j 2, 20 pictures to a video (sanitized)"
rm -f "$work"/asan.* "$work"/ubsan.*
if ! ASAN_OPTIONS="$ASAN_OPTIONS:log_path=$work/asan" UBSAN_OPTIONS="$UBSAN_OPTIONS:log_path=$work/ubsan" \
  XDG_RUNTIME_DIR="$work" "$build/bin/pelisto-build" -j 2 --fit 801x451 --delay 1 \
  --crossfade 0.5 --caption name -o "$work/show.mp4" "$work"/pictures/*; then
  status=1
fi
if ls "$work"/asan.* "$work"/ubsan.* >/dev/null 2>&1; then
  cat "$work"/asan.* "$work"/ubsan.* 2>/dev/null | head -60
  status=1
fi
exit $status

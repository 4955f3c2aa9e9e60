#!/usr/bin/env bash
# Builds the codec libraries and the picture control with AddressSanitizer and UBSan (Debug) and
# runs their tests; any memory fault, leak or undefined behaviour fails the run.
# Usage: scripts/sanitize.sh [build folder]   (build-asan by default)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-$root/build-asan}
jobs=${JOBS:-2}

cmake -S "$root" -B "$build" -G Ninja -DPELISTO_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" --target test_codeclib test_picture -j"$jobs"

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
exit $status

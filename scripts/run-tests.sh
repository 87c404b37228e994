#!/usr/bin/env bash
# Builds and runs every test: all of them under AddressSanitizer + UndefinedBehaviorSanitizer
# (the GUI tests in a virtual X display), the tests that need no display and the GUI tests
# labelled gui-tsan under ThreadSanitizer, then everything in a plain build.
# The last lines printed are ctest's summary of the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
/usr/bin/python3 scripts/check-layers.py # the libraries include one way only; fails before any build

configure_and_build() { # <dir> <extra cmake args...>
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTARNWICK_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

echo "== sanitizer build (address, undefined)"
configure_and_build build-asan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_BENCH=OFF \
  "-DTARNWICK_SANITIZE=address;undefined"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L model -j "$jobs" --output-on-failure
echo "== the GUI tests under the same sanitizers (virtual X display)"
# GTK, Pango and fontconfig keep caches for the life of the process, which the leak
# checker would report at exit: leaks are checked by the model tests above.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build-asan -L gui --output-on-failure

echo "== thread sanitizer build (model tests: worker, parsers, painter threads)"
configure_and_build build-tsan -DCMAKE_BUILD_TYPE=Debug -DTARNWICK_BENCH=OFF -DTARNWICK_SANITIZE=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -L model -j "$jobs" --output-on-failure
echo "== thread sanitizer, GUI tests of the threads behind the plots (virtual X display)"
# GLib and GTK are not instrumented: their own locks are invisible to the sanitizer, so
# what they do in memory (GLib's slice allocator handing blocks between threads) is left
# out; our code's accesses are still checked.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
  xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build-tsan -L gui-tsan --output-on-failure

echo "== plain build"
configure_and_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --test-dir build -j "$jobs" --output-on-failure

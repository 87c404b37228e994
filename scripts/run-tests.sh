#!/usr/bin/env bash
# Builds and runs every test: all of them under AddressSanitizer + UndefinedBehaviorSanitizer,
# the tests that need no display and the GUI tests labelled gui-tsan under ThreadSanitizer,
# then everything in a plain build (benchmarks built too). Every GUI test process starts an
# X display of its own, so the GUI tests run side by side like the others.
#
# The three trees are built side by side with the tests: while the AddressSanitizer tree
# builds and its tests run, the ThreadSanitizer tree and then the plain one build in the
# background at a lower priority (their output goes to <tree>/build.log and is shown when
# the build fails). Any failure stops the script with a non-zero status.
# The last lines printed are ctest's summary of the plain build.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
/usr/bin/python3 scripts/check-layers.py # the libraries include one way only; fails before any build

configure() { # <dir> <extra cmake args...>
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTARNWICK_WERROR=ON "$@" >/dev/null
}

# Builds the trees one after the other, each tree's exit status into <dir>/build.status.
build_in_background() { # <dir>...
  local dir status
  for dir in "$@"; do
    status=0
    nice -n 10 cmake --build "$dir" -j "$jobs" >"$dir/build.log" 2>&1 || status=$?
    echo "$status" >"$dir/build.status.new"
    mv "$dir/build.status.new" "$dir/build.status"
    [[ $status -eq 0 ]] || return "$status"
  done
}

# Waits until the background build of <dir> has ended; stops the script if it failed.
await_build() { # <dir>
  local dir=$1
  while [[ ! -s "$dir/build.status" ]]; do
    if ! kill -0 "$background" 2>/dev/null && [[ ! -s "$dir/build.status" ]]; then
      echo "the build of $dir stopped"
      exit 1
    fi
    sleep 1
  done
  if [[ $(cat "$dir/build.status") != 0 ]]; then
    echo "== the build of $dir failed:"
    tail -n 80 "$dir/build.log"
    exit 1
  fi
}

# Debug information: the sanitizer builds keep line tables only, enough for the stack
# traces of their reports. They also compile eight sources as one unit (unity build), which
# halves their compile time, as unoptimised code spends it mostly reading the same headers;
# the plain tree compiles each source alone, as a user's build does, so a source that
# lacks an include of its own still fails here.
sanitizer_build=(-DCMAKE_BUILD_TYPE=Debug -DTARNWICK_BENCH=OFF -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DCMAKE_C_FLAGS_DEBUG=-g1
  -DCMAKE_UNITY_BUILD=ON -DCMAKE_UNITY_BUILD_BATCH_SIZE=8)

echo "== configuring the trees: address+undefined sanitizers, thread sanitizer, plain"
configure build-asan "${sanitizer_build[@]}" "-DTARNWICK_SANITIZE=address;undefined"
configure build-tsan "${sanitizer_build[@]}" -DTARNWICK_SANITIZE=thread
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
rm -f build-tsan/build.status build/build.status

# The background builds run in a process group of their own, ended with the script.
set -m
build_in_background build-tsan build &
background=$!
set +m
trap 'kill -- "-$background" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM

echo "== sanitizer build (address, undefined)"
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L model -j "$jobs" --output-on-failure
echo "== the GUI tests under the same sanitizers (a virtual X display for each)"
# GTK, Pango and fontconfig keep caches for the life of the process, which the leak
# checker would report at exit: leaks are checked by the model tests above.
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan -L gui -j "$jobs" --output-on-failure

echo "== thread sanitizer build (model tests: worker, parsers, painter threads)"
await_build build-tsan
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir build-tsan -L model -j "$jobs" --output-on-failure
echo "== thread sanitizer, GUI tests of the threads behind the plots (a virtual X display for each)"
# GLib and GTK are not instrumented: their own locks are invisible to the sanitizer, so
# what they do in memory (GLib's slice allocator handing blocks between threads) is left
# out; our code's accesses are still checked.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:ignore_noninstrumented_modules=1 \
  ctest --test-dir build-tsan -L gui-tsan -j "$jobs" --output-on-failure

echo "== plain build"
await_build build
ctest --test-dir build -j "$jobs" --output-on-failure

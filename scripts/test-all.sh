#!/bin/sh
# `make test`: builds and runs the suite on the 64-bit, 32-bit and sanitizer
# builds, one after the other, and ends with one line per build saying how
# its tests ran. A build that fails does not stop the others; the exit status
# is non-zero when any build failed to compile or any test failed.
#
# The 32-bit suite runs natively where the kernel runs 32-bit programs, under
# qemu-i386 (registered with binfmt_misc by scripts/i386-exec.sh) where it does
# not, and is only compiled where neither is possible; it is then reported as
# not run, with the reason.
set -u
cd "$(dirname "$0")/.."
JOBS=${JOBS:-$(nproc)}
CMAKE=${CMAKE:-cmake}
failed=0
lines=""

note() { lines="$lines$1
"; }

build() { # dir, cmake options...
  dir=$1; shift
  $CMAKE -S . -B "$dir" -DZARA_TESTS=ON "$@" >/dev/null && $CMAKE --build "$dir" -j"$JOBS"
}

suite() { # dir, label, mode
  sh scripts/run-suite.sh "$1" "$2" "$3" -j"$JOBS" || failed=1
  note "$(cat "$1/test-summary.txt")"
}

if build build -DCMAKE_BUILD_TYPE=Release; then
  suite build 64-bit native
else
  failed=1; note "64-bit: BUILD FAILED"
fi

if build build-m32 -DCMAKE_BUILD_TYPE=Release -DZARA_M32=ON; then
  mode=$(sh scripts/i386-exec.sh setup)
  case $mode in
    none:*)
      note "32-bit: built, tests NOT RUN (${mode#none: })" ;;
    *)
      suite build-m32 32-bit "$mode"
      sh scripts/i386-exec.sh teardown ;;
  esac
else
  failed=1; note "32-bit: BUILD FAILED"
fi

if build build-asan -DCMAKE_BUILD_TYPE=Debug -DZARA_SANITIZE=ON -DZARA_MAP_INPUT=ON; then
  ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    suite build-asan sanitizers native
else
  failed=1; note "sanitizers: BUILD FAILED"
fi

echo
echo "How the tests ran:"
printf '%s' "$lines"
exit $failed

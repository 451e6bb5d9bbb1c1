#!/usr/bin/env bash
# Sets up the machine, builds, and runs every test.
#   scripts/test.sh           the normal build
#   scripts/test.sh asan      AddressSanitizer + UndefinedBehaviorSanitizer
#   scripts/test.sh tsan      ThreadSanitizer
set -uo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

scripts/setup.sh test || exit 1
scripts/build.sh "$preset" || exit 1

case "$preset" in
  default) dir=build ;;
  *) dir="build-$preset" ;;
esac
log="$dir/ctest.log"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export TSAN_OPTIONS="${TSAN_OPTIONS:-halt_on_error=1 second_deadlock_stack=1 suppressions=$PWD/tests/tsan.supp}"
ctest --test-dir "$dir" -j2 --output-on-failure --no-tests=error 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}

echo
echo "== CTest summary ($preset)"
grep -E "tests passed|tests failed out of|No tests were found|The following tests FAILED" "$log" || echo "no CTest summary: no test ran"
grep -E "^\s+[0-9]+ - .*\((Failed|SEGFAULT|Timeout|Subprocess aborted|Not Run|Exception)" "$log" || true
exit "$rc"

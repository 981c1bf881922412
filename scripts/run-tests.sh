#!/usr/bin/env bash
# Builds the whole project twice, a normal build and one with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs the complete test suite in each. Fails on the first error.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 4)
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:max_allocation_size_mb=2048}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

run_suite() {
  local dir=$1; shift
  cmake -S . -B "$dir" -DPRAVIX_BUILD_TESTS=ON -DPRAVIX_WERROR="${PRAVIX_WERROR:-OFF}" "$@" >/dev/null
  cmake --build "$dir" -j"$jobs"
  ctest --test-dir "$dir" --output-on-failure -j"$jobs" | tee "$dir/ctest.log"
  # ctest's total counts skipped tests as well; its list of tests that did not run names them.
  local total failed skipped
  total=$(sed -n 's/.*tests failed out of \([0-9]*\).*/\1/p' "$dir/ctest.log" | tail -n 1)
  failed=$(sed -n 's/.* \([0-9][0-9]*\) tests\{0,1\} failed out of .*/\1/p' "$dir/ctest.log" | tail -n 1)
  skipped=$(awk '/^The following tests did not run:/ { listing = 1; next }
                 listing && /^[[:space:]]*$/ { listing = 0 }
                 listing && /\(Skipped\)[[:space:]]*$/ { count++ }
                 END { print count + 0 }' "$dir/ctest.log")
  passed=$((passed + ${total:-0} - ${failed:-0} - skipped))
  failures=$((failures + ${failed:-0}))
  skips=$((skips + skipped))
}
passed=0
failures=0
skips=0

echo "== normal build =="
run_suite build/release -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build =="
run_suite build/sanitize -DCMAKE_BUILD_TYPE=Debug -DPRAVIX_SANITIZE=ON -DPRAVIX_BENCH=OFF
echo "== fuzz targets (${PRAVIX_FUZZ_SECONDS:-60}s each) =="
./scripts/run-fuzzers.sh "${PRAVIX_FUZZ_SECONDS:-60}"
echo "tests: $passed passed, $failures failed, $skips skipped"

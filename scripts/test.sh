#!/usr/bin/env bash
# Builds Zarn with every test and runs them all, twice: a plain build, and a
# build with AddressSanitizer and UndefinedBehaviorSanitizer, which must be
# just as clean (any memory error, leak or undefined behaviour fails a test);
# then the tests of files in parallel on a binary under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc 2>/dev/null || echo 2)

# Every C++ source as clang-format makes it, before anything is built.
bash scripts/check_format.sh

# Neither build carries debug information, and the test programs themselves
# are not optimised (the libraries and the binary under test are): both
# would double the build time, and CI has two cores. A failing test is
# rebuilt by hand when a debugger is wanted.
cmake -S . -B build/test -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" -DZARN_TEST_COMPILE_OPTIONS=-O0 \
  -DZARN_WERROR=ON >/dev/null
cmake --build build/test -j"$jobs"
ctest --test-dir build/test --output-on-failure -j"$jobs"

# -O1 is what the sanitizers are made for: fast to build, and still quick
# to run. The end-to-end tests run the sanitized binary too.
cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DZARN_TEST_COMPILE_OPTIONS=-O0 \
  -DZARN_SANITIZE=ON -DZARN_WERROR=ON >/dev/null
cmake --build build/asan -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build/asan --output-on-failure -j"$jobs"

# The binary under ThreadSanitizer, run by the tests of files in parallel
# and the crash test with workers (the runs in the test process itself are
# checked by the plain and sanitized builds above). Only the binary is
# built a third time, which keeps this step under a minute.
cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O1 -DNDEBUG" -DZARN_TESTS=OFF \
  -DZARN_TSAN=ON -DZARN_WERROR=ON >/dev/null
cmake --build build/tsan -j"$jobs" --target zarn
TSAN_OPTIONS=halt_on_error=1 ZARN_TEST_BINARY="$PWD/build/tsan/zarn" \
  build/test/run_tests --gtest_filter='Parallel.*:*CrashSafety*'

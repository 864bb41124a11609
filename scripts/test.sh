#!/usr/bin/env bash
# Installs, builds and runs every test through CTest:
#  1. the unit tests, and the engine's lifecycle tests (label asan), under
#     AddressSanitizer and UndefinedBehaviorSanitizer;
#  2. the tests labelled tsan (threads sharing state without locks) under ThreadSanitizer;
#  3. every test (unit, component, end-to-end) in the normal build;
#  4. every fuzz target for 20 s (clang, build-fuzz/; scripts/fuzz.sh).
# Ends with CTest's summary of the full run and the fuzz targets' lines;
# fails when any of them fails.
set -uo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh || exit 1

jobs=2
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVALA_SANITIZE=ON -DCORVALA_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build build-asan --target corvala_unit_tests corvala_asan_tests -j$jobs || exit 1
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVALA_TSAN=ON -DCORVALA_BUILD_BENCH=OFF >/dev/null || exit 1
cmake --build build-tsan --target corvala_tsan_tests -j$jobs || exit 1
cmake -S . -B build -G Ninja >/dev/null || exit 1
cmake --build build -j$jobs || exit 1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
echo "== unit and engine lifecycle tests under ASan+UBSan"
(cd build-asan && ctest -L 'unit|asan' -j$jobs --output-on-failure)
sanitized=$?
echo "== tsan tests under ThreadSanitizer"
(cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest -L tsan -j$jobs --output-on-failure)
threads=$?
echo "== all tests"
(cd build && ctest -j$jobs --output-on-failure)
full=$?
echo "== fuzz targets, 20 s each"
./scripts/fuzz.sh all 20
fuzzed=$?
[ $sanitized -eq 0 ] && [ $threads -eq 0 ] && [ $full -eq 0 ] && [ $fuzzed -eq 0 ]

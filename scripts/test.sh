#!/usr/bin/env bash
# Installs the dependencies, builds Quillon and runs every test: the whole suite in a
# normal build, then the transport, ESC/POS and printer-engine tests again under
# ThreadSanitizer and, shuffled in one process, under AddressSanitizer; last, every fuzz
# target for a short while. With --quick it stops after the normal build's suite.
set -euo pipefail
cd "$(dirname "$0")/.."
quick=0
case "${1:-}" in
    "") ;;
    --quick) quick=1 ;;
    *) echo "usage: scripts/test.sh [--quick]" >&2; exit 2 ;;
esac
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
QT_QPA_PLATFORM=offscreen ctest --test-dir build --output-on-failure -j "$jobs"
[ "$quick" -eq 0 ] || exit 0

for sanitizer in thread address; do
    dir=build-$sanitizer
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUILLON_GUI=OFF \
        -DQUILLON_SANITIZE=$sanitizer
    cmake --build "$dir" -j "$jobs" --target unit_tests printer_tests escpos_tests
    if [ "$sanitizer" = address ]; then
        # All tests in one process in a random order (the seed is printed, for a rerun with
        # --gtest_random_seed), so a test that depends on what an earlier one left shows.
        ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
            timeout 1800 "$dir/tests/unit/unit_tests" --gtest_shuffle
        ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
            timeout 1800 "$dir/tests/printer/printer_tests" --gtest_shuffle
        ASAN_OPTIONS=detect_leaks=1:halt_on_error=1 \
            timeout 1800 "$dir/tests/escpos/escpos_tests" --gtest_shuffle
    else
        TSAN_OPTIONS=halt_on_error=1 \
            ctest --test-dir "$dir" --output-on-failure -j "$jobs" -L 'unit|printer|escpos'
    fi
done

scripts/fuzz.sh 20

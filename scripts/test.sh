#!/usr/bin/env bash
# Installs what is missing, builds the host tree, the shipped win32 tree and
# the win32 test tree, and runs every test: the host unit tests
# (AddressSanitizer + UBSan), the Win32 unit tests under Wine and the
# end-to-end tests and binary checks of the shipped programs, in one private
# prefix, short fuzzing runs, and a build of the benchmarks. Ends with a line "tests: N passed, N failed".
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh || exit 1
. scripts/i386-exec.sh
echo "test: $(i386_exec_line)"

status=0
passed=0
failed=0
step() { echo; echo "=== $*"; }

# Adds one CTest run's counts to the totals.
count_ctest() {
    local summary
    summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$1" | tail -n 1)
    if [ -z "$summary" ]; then
        failed=$((failed + 1))
        return
    fi
    local bad total
    bad=$(echo "$summary" | sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/')
    total=$(echo "$summary" | sed -E 's/.* failed out of ([0-9]+).*/\1/')
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

for preset in host win32 win32-tests; do
    step "configure and build: $preset"
    if ! { cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset"; }; then
        echo "build of $preset failed"
        exit 1
    fi
done

step "host tests"
ctest --preset host 2>&1 | tee build/host-ctest.log
[ "${PIPESTATUS[0]}" -eq 0 ] || status=1
count_ctest build/host-ctest.log

step "Win32 tests under Wine"
(
    source scripts/wine-prefix.sh
    ctest --preset win32-tests 2>&1 | tee build/win32-ctest.log
    exit "${PIPESTATUS[0]}"
) || status=1
count_ctest build/win32-ctest.log

if [ -x scripts/fuzz-short.sh ]; then
    step "short fuzzing runs"
    if scripts/fuzz-short.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
fi

if [ -f bench/graphics/CMakeLists.txt ] || [ -f bench/unpack/CMakeLists.txt ]; then
    step "benchmarks build"
    if cmake --preset bench >/dev/null && cmake --build --preset bench; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1)); status=1
    fi
fi

echo
echo "tests: $passed passed, $failed failed"
exit $status

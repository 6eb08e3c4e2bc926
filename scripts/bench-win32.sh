#!/usr/bin/env bash
# The shipped figures: builds the Win32 benchmark in its own tree of the
# win32 preset (the programs' compiler, flags and shell library) and runs it
# under Wine in a private prefix, whose wineserver is stopped at the end.
# Arguments go to the program: part names (unpack, ...) and --reps=N,
# --rounds=N, --ms=N (bench/harness.h).
#
#   scripts/bench-win32.sh                 # every part
#   scripts/bench-win32.sh unpack --reps=9
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/bench-win32
cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" --target win32_bench

. scripts/wine-prefix.sh
wine "$build/bin/win32_bench.exe" "$@"

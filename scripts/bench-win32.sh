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

# Times taken where Wine's loader runs under an emulator are the emulator's
# speed, not the program's: nothing is timed there.
. scripts/i386-exec.sh
mode=$(i386_exec_mode)
if [ "$mode" != native ]; then
    echo "bench-win32: not timing: $(i386_exec_line)." >&2
    echo "bench-win32: a figure measured under an emulator says nothing of the program's speed;" \
        "run this on a machine whose kernel runs 32-bit x86 code, without qemu-i386 registered." >&2
    exit 3
fi

build=build/bench-win32
cmake --preset win32 -B "$build" >/dev/null
cmake --build "$build" --target win32_bench

. scripts/wine-prefix.sh
wine "$build/bin/win32_bench.exe" "$@"

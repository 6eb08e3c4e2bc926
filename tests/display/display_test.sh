#!/usr/bin/env bash
# display_test.sh WINE_RUN DISPLAY_TEST_EXE
# Runs the display tests under Wine on a virtual X display of their own
# (Xvfb, no window manager): Wine makes no window without one. The tests'
# ddraw.dll, beside the program, stands in for the system's
# (WINEDLLOVERRIDES=ddraw=n, for this program's process only).
set -uo pipefail
run=$1 exe=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/display-test.XXXXXX")
xvfb=
finish() {
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "FAIL: Xvfb did not start: $(cat "$work/xvfb.log")"; exit 1; }
DISPLAY=:$(head -n 1 "$work/display") WINEDLLOVERRIDES=ddraw=n "$run" "$exe"

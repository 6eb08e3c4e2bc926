#!/usr/bin/env bash
# The main job: installs what is missing, builds the programs for Win32, and
# runs synthcheck.exe under Wine in a private prefix, printing the value it
# recorded for the current user.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target dxlaunch synthcheck >/dev/null
echo "built:"
ls -l build/win32/bin/dxlaunch.exe build/win32/bin/synthcheck.exe
scripts/run-synthcheck.sh build/win32/bin/synthcheck.exe

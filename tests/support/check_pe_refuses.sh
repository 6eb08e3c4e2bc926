#!/bin/sh
# check_pe_refuses.sh PROBE_EXE
# The binary check itself must be able to fail: PROBE_EXE imports
# GetTickCount64 (Windows Vista) and Sleep (Windows 95) from KERNEL32.dll.
# check_pe.sh must name the first, pass over the second and not pass.
set -u
out=$(sh "$(dirname "$0")/check_pe.sh" "$1" 1000000 "KERNEL32.dll msvcrt.dll" KERNEL32.dll)
echo "$out"
echo "$out" | grep -qx 'FAIL: imports GetTickCount64 from kernel32.dll, which is not in win32-imports.txt' ||
    { echo "FAIL: GetTickCount64 was not named"; exit 1; }
! echo "$out" | grep -q 'imports Sleep ' || { echo "FAIL: Sleep was refused"; exit 1; }
! echo "$out" | grep -q '^PASS' || { echo "FAIL: the probe passed"; exit 1; }
echo "PASS: check_pe.sh refuses an import outside the allowlist"

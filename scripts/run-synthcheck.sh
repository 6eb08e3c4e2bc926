#!/usr/bin/env bash
# run-synthcheck.sh PATH/TO/synthcheck.exe
# Runs synthcheck.exe once under Wine in a private, temporary prefix (made
# and removed here) from an empty working directory, then prints the value it
# recorded for the current user, e.g.
#   Awe32Detected = 0 (HKCU\Software\Tarnwick Productions Ltd\Audio)
# Exits with synthcheck's exit code, or 1 when no value was recorded.
set -euo pipefail
if [ $# -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 PATH/TO/synthcheck.exe" >&2
    exit 2
fi
exe=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
key='HKCU\Software\Tarnwick Productions Ltd\Audio'

source "$(dirname "$0")/wine-prefix.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/synthcheck-run.XXXXXX")
trap 'rm -rf "$work"; stop_wine_prefix' EXIT

status=0
(cd "$work" && wine "$exe") 2>/dev/null || status=$?
echo "synthcheck.exe exited with $status"

# "    Awe32Detected    REG_DWORD    0x1" (lines end in CR LF)
value=$(wine reg query "$key" /v Awe32Detected 2>/dev/null | tr -d '\r' |
    awk '$1 == "Awe32Detected" && $2 == "REG_DWORD" { print $3 }')
if [ -z "$value" ]; then
    echo "Awe32Detected: not recorded ($key)"
    exit 1
fi
echo "Awe32Detected = $((value)) ($key)"
exit "$status"

#!/bin/sh
# check_package.sh BUILD_DIR "EXPECTED FILES": packs the distribution zip
# into a scratch directory and compares its file list with the expected one.
set -eu
build=$1 expected=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$out" >/dev/null
zip=$(ls "$out"/*.zip)
listed=$(cd "$out" && cmake -E tar tf "$zip" | sort | tr '\n' ' ' | sed 's/ $//')
want=$(echo $expected | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')
echo "package: $(basename "$zip"): $listed"
[ "$listed" = "$want" ] || { echo "FAIL: expected $want"; exit 1; }
echo PASS

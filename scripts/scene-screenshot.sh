#!/usr/bin/env bash
# scene-screenshot.sh [OUT.png]
# Makes the screenshot of the example program that the README shows
# (default docs/scene.png): builds the host tools and the shipped tree where
# they are missing or stale (in $HOST_BUILD and $SHIPPED_BUILD, by default
# the presets' build/host and build/win32), builds the examples against the
# installed SDK in a scratch directory, and runs the window test, which
# saves its first capture once that has matched the host's picture pixel
# for pixel.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/scene.png}
host=${HOST_BUILD:-build/host}
shipped=${SHIPPED_BUILD:-build/win32}

scripts/setup.sh
cmake --preset host -B "$host" >/dev/null
cmake --build "$host" --target packtool spritetool scene_reference
cmake --preset win32 -B "$shipped" >/dev/null
cmake --build "$shipped"

source scripts/wine-prefix.sh
work=$(mktemp -d "${TMPDIR:-/tmp}/scene-screenshot.XXXXXX")
trap 'rm -rf "$work"; stop_wine_prefix' EXIT
scripts/build-examples.sh "$work" "$shipped" "$host/bin/packtool"
mkdir -p "$(dirname "$out")"
scripts/scene-window-test.sh "$work/build/scene/scene.exe" "$work/build/scene/art.pak" \
    "$host/bin/scene_reference" "$out"

#!/usr/bin/env bash
# scene-screenshot.sh [desktop] [OUT.png]
# Makes a screenshot of the example program that the README shows: its
# window (default docs/scene.png), or with `desktop` the whole screen of
# 1600 x 1200 with the program full screen on the desktop (default
# docs/scene-desktop.png). Builds the host tools and the shipped tree where
# they are missing or stale (in $HOST_BUILD and $SHIPPED_BUILD, by default
# the presets' build/host and build/win32), builds the examples against the
# installed SDK in a scratch directory, and runs the window test (or the
# scaled test with --desktop), which saves its first capture once that has
# matched the host's picture pixel for pixel.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=window
if [ "${1:-}" = desktop ]; then
    kind=desktop
    shift
fi
out=${1:-docs/scene$([ "$kind" = desktop ] && echo -desktop).png}
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
test=scripts/scene-window-test.sh
[ "$kind" = desktop ] && test=scripts/scene-scaled-test.sh
SCENE_ARGS=--desktop SCENE_CLIENT=1600x1200 \
    "$test" "$work/build/scene/scene.exe" "$work/build/scene/art.pak" "$host/bin/scene_reference" \
    "$out"

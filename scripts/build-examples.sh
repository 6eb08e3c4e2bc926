#!/usr/bin/env bash
# build-examples.sh WORK [SHIPPED_BUILD [PACKTOOL [SPRITETOOL]]]
# Builds the example programs the way a programmer who has only the SDK
# does: installs the SDK from the shipped win32 tree (default build/win32)
# into WORK/sdk, copies the example projects to WORK/src, and configures and
# builds each one in WORK/build/NAME against the installed SDK, with the
# toolchain file installed beside it. The scene's build runs its art tool
# under Wine (the toolchain's emulator, in $WINEPREFIX), makes the sprites
# of its pictures with SPRITETOOL (default: the spritetool beside PACKTOOL)
# and packs the art with PACKTOOL (default: packtool on the PATH, else
# build/host/bin/packtool).
# Results: WORK/build/hello/hello.exe, WORK/build/text/text.exe,
# WORK/build/scene/scene.exe and the art it carries, WORK/build/scene/art.pak.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$1
shipped=${2:-$root/build/win32}
packtool=${3:-$(command -v packtool || echo "$root/build/host/bin/packtool")}
spritetool=${4:-$(dirname "$packtool")/spritetool}

if [ ! -f "$shipped/CMakeCache.txt" ]; then
    echo "build-examples: no shipped tree in $shipped (cmake --preset win32 && cmake --build --preset win32)" >&2
    exit 1
fi
if [ ! -x "$packtool" ]; then
    echo "build-examples: no packtool at $packtool (cmake --build --preset host --target packtool)" >&2
    exit 1
fi
if [ ! -x "$spritetool" ]; then
    echo "build-examples: no spritetool at $spritetool (cmake --build --preset host --target spritetool)" >&2
    exit 1
fi

mkdir -p "$work"
cmake --install "$shipped" --component sdk --prefix "$work/sdk" >/dev/null
rm -rf "$work/src"
mkdir -p "$work/src"
cp -R "$root/examples/hello" "$root/examples/text" "$root/examples/scene" "$work/src/"

for example in hello text scene; do
    options=()
    [ "$example" = scene ] && options+=(-DPACKTOOL="$packtool" -DSPRITETOOL="$spritetool")
    cmake -S "$work/src/$example" -B "$work/build/$example" -G Ninja -DCMAKE_BUILD_TYPE=MinSizeRel \
        -DCMAKE_TOOLCHAIN_FILE="$work/sdk/lib/cmake/TarnwickShell/toolchain-i686-mingw32.cmake" \
        -DCMAKE_PREFIX_PATH="$work/sdk" "${options[@]}" >/dev/null
    cmake --build "$work/build/$example"
done

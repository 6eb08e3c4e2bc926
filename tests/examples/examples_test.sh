#!/usr/bin/env bash
# examples_test.sh STEP STATE SOURCE_DIR SHIPPED_BUILD HOST_BIN DRIVER
# The SDK and its example programs under Wine, one CTest entry per step. The
# steps share a scratch directory made by `install`, whose path STATE holds:
#   install  installs the SDK from the shipped tree into the scratch
#            directory, checks the installed files against sdk-files.txt, and
#            builds the examples against it (scripts/build-examples.sh)
#   package  configures a project that asks for the package: version 1.0 is
#            found, 2.0 is not (the version file), and neither the host's
#            compiler nor a 32-bit compiler for a system other than Windows
#            gets it
#   hello    runs hello.exe with two arguments: exit code 0, and its debug
#            line tells 3 words, the last one, and the 32 pixels of its line
#   text     checks text.exe as the programs are checked, then runs it with
#            the example's font (spritetool font of scene/art/font.png) and
#            "Hello, world": exit code 0, and its debug line tells the box
#            and the pixels the host's text component gives; given a file
#            that is not a font, it says so and draws nothing
#   binary   checks scene.exe as the shipped programs are checked: PE32, GUI,
#            Windows 4.0, size, and every import in win32-imports.txt
#   window   runs scene.exe in a window (scripts/scene-window-test.sh)
#   zoom1, zoom2, zoom3  run it in a window at that zoom, clicked at known
#            points and compared with the host's picture scaled the same way;
#            the window at zoom 2 is then resized to 1000 x 700, where the
#            picture shows 3 times, centred (scripts/scene-scaled-test.sh)
#   desktop  runs scene.exe --desktop: full screen on a plain X display of
#            1600 x 1200, the picture 5 times, black above and below
#   fallback runs scene.exe --aspect 320x200 outside a virtual desktop, where
#            Wine refuses every full-screen mode: the desktop instead, 4:3 (5
#            times across, 6 times down)
#   fullscreen  runs scene.exe full screen in each 8-bit mode of the table
#            (scripts/scene-fullscreen-test.sh)
#   cleanup  removes the scratch directory
# DRIVER is scene_driver.exe, which starts the program and tells its exit
# code, and switches away from it and back.
set -uo pipefail
step=$1 state=$2 source=$3 shipped=$4 hostbin=$5 scene_driver=$6
# The prefix falls back as the emulator's does when CTest runs bare.
: "${WINEPREFIX:=$source/build/wineprefix}"
: "${WINEDEBUG:=-all}"
export WINEPREFIX WINEDEBUG

if [ "$step" != install ]; then
    work=$(cat "$state" 2>/dev/null) || { echo "FAIL: no scratch directory (examples_install)"; exit 1; }
fi
case $step in
install)
    [ -f "$state" ] && rm -rf "$(cat "$state")"
    work=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-sdk.XXXXXX")
    echo "$work" >"$state"
    echo "scratch directory: $work"
    "$source/scripts/build-examples.sh" "$work" "$shipped" "$hostbin/packtool" || exit 1
    installed=$(cd "$work/sdk" && find . -type f | sed 's|^\./||' | sort)
    expected=$(grep -v '^#' "$(dirname "$0")/sdk-files.txt" | sort)
    echo "installed:"
    echo "$installed" | sed 's/^/  /'
    if [ "$installed" != "$expected" ]; then
        echo "FAIL: the SDK's files differ from sdk-files.txt:"
        diff <(echo "$expected") <(echo "$installed")
        exit 1
    fi
    ;;
package)
    probe=$work/src/probe
    mkdir -p "$probe"
    cat >"$probe/CMakeLists.txt" <<'PROBE'
cmake_minimum_required(VERSION 3.25)
project(probe LANGUAGES CXX)
find_package(TarnwickShell ${WANT} CONFIG REQUIRED)
PROBE
    toolchain=$work/sdk/lib/cmake/TarnwickShell/toolchain-i686-mingw32.cmake
    # configure NAME WANT [OPTIONS...]: the probe's configure output and result.
    configure() {
        local name=$1 want=$2
        shift 2
        cmake -S "$probe" -B "$work/build/probe-$name" -G Ninja -DWANT="$want" \
            -DCMAKE_PREFIX_PATH="$work/sdk" "$@" 2>&1
    }
    fail=0
    if ! out=$(configure found 1.0 -DCMAKE_TOOLCHAIN_FILE="$toolchain"); then
        echo "FAIL: version 1.0 with the toolchain is not found:"; echo "$out"; fail=1
    fi
    if out=$(configure newer 2.0 -DCMAKE_TOOLCHAIN_FILE="$toolchain"); then
        echo "FAIL: a request for version 2.0 is granted"; fail=1
    else
        echo "$out" | grep -q 'version: 1.0' || { echo "FAIL: 2.0 refused for another reason:"; echo "$out"; fail=1; }
    fi
    # The 64-bit host compiler meets the version file's 32-bit mark; a 32-bit
    # compiler for another system, the package's own test of the system.
    if out=$(configure host 1.0); then
        echo "FAIL: the package is found for the host compiler"; fail=1
    else
        echo "$out" | grep -q 'version: 1\.0 (32bit)' ||
            { echo "FAIL: the host configure fails for another reason:"; echo "$out"; fail=1; }
    fi
    if out=$(configure generic 1.0 -DCMAKE_SYSTEM_NAME=Generic \
                 -DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-win32); then
        echo "FAIL: the package is found for a system other than Windows"; fail=1
    else
        echo "$out" | grep -q 'TarnwickShell is built for 32-bit Windows' ||
            { echo "FAIL: another system is refused for another reason:"; echo "$out"; fail=1; }
    fi
    [ $fail -eq 0 ] && echo "PASS: 1.0 found; 2.0, the host compiler and another system refused"
    exit $fail
    ;;
hello)
    cwd=$(mktemp -d "${TMPDIR:-/tmp}/hello-run.XXXXXX")
    trap 'rm -rf "$cwd"' EXIT
    log=$( (cd "$cwd" && WINEDEBUG=-all,+debugstr wine "$work/build/hello/hello.exe" first "second word") 2>&1)
    code=$?
    echo "$log" | grep 'hello:'
    [ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
    echo "$log" | grep -q 'hello: 3 words, the last is second word; 32 pixels drawn' ||
        { echo "FAIL: hello did not report its words and its line"; exit 1; }
    [ -z "$(ls -A "$cwd")" ] || { echo "FAIL: hello left files behind"; exit 1; }
    ;;
text)
    sh "$source/tests/support/check_pe.sh" "$work/build/text/text.exe" 163840 \
        "KERNEL32.dll msvcrt.dll USER32.dll" "KERNEL32.dll USER32.dll" || exit 1
    cwd=$(mktemp -d "${TMPDIR:-/tmp}/text-run.XXXXXX")
    trap 'rm -rf "$cwd"' EXIT
    "$hostbin/spritetool" font "$source/examples/scene/art/font.png" "$work/font.fnt" || exit 1
    log=$( (cd "$cwd" && WINEDEBUG=-all,+debugstr wine "$work/build/text/text.exe" \
                "$work/font.fnt" "Hello, world") 2>&1)
    code=$?
    echo "$log" | grep 'text:'
    [ "$code" -eq 0 ] || { echo "FAIL: exit code $code"; exit 1; }
    # 12 characters of the font: 56 columns in all, 9 rows, 115 pixels inked.
    echo "$log" | grep -q 'text: 56 x 9 pixels, 115 of them drawn' ||
        { echo "FAIL: text did not report the box and the pixels of its text"; exit 1; }
    # A file that is no font (the program itself): refused, nothing drawn.
    log=$( (cd "$cwd" && WINEDEBUG=-all,+debugstr wine "$work/build/text/text.exe" \
                "$work/build/text/text.exe" "Hello") 2>&1)
    echo "$log" | grep 'text:'
    echo "$log" | grep -q 'text: no font to draw with' ||
        { echo "FAIL: text did not refuse a file that is no font"; exit 1; }
    [ -z "$(ls -A "$cwd")" ] || { echo "FAIL: text left files behind"; exit 1; }
    ;;
binary)
    sh "$source/tests/support/check_pe.sh" "$work/build/scene/scene.exe" 204800 \
        "GDI32.dll KERNEL32.dll msvcrt.dll USER32.dll WINMM.dll" \
        "GDI32.dll KERNEL32.dll USER32.dll WINMM.dll"
    ;;
window)
    SCENE_DRIVER=$scene_driver bash "$source/scripts/scene-window-test.sh" \
        "$work/build/scene/scene.exe" "$work/build/scene/art.pak" "$hostbin/scene_reference"
    ;;
zoom1 | zoom2 | zoom3 | desktop | fallback)
    case $step in
    zoom1) export SCENE_ARGS= SCENE_CLIENT=320x200 ;;
    zoom2) export SCENE_ARGS="--zoom 2" SCENE_CLIENT=640x400 SCENE_RESIZE=1000x700 ;;
    zoom3) export SCENE_ARGS="--zoom 3" SCENE_CLIENT=960x600 ;;
    desktop) export SCENE_ARGS=--desktop SCENE_CLIENT=1600x1200 ;;
    fallback) export SCENE_ARGS="--aspect 320x200" SCENE_CLIENT=1600x1200 SCENE_ASPECT=1 SCENE_REFUSED=1 ;;
    esac
    SCENE_DRIVER=$scene_driver bash "$source/scripts/scene-scaled-test.sh" \
        "$work/build/scene/scene.exe" "$work/build/scene/art.pak" "$hostbin/scene_reference"
    ;;
fullscreen)
    bash "$source/scripts/scene-fullscreen-test.sh" "$work/build/scene/scene.exe" \
        "$work/build/scene/art.pak" "$hostbin/scene_reference" "$scene_driver"
    ;;
cleanup)
    rm -rf "$work" "$state"
    ;;
*)
    echo "examples_test.sh: unknown step $step" >&2
    exit 2
    ;;
esac

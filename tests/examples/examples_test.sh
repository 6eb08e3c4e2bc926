#!/usr/bin/env bash
# examples_test.sh STEP STATE SOURCE_DIR SHIPPED_BUILD HOST_BIN
# The SDK and its example programs under Wine, one CTest entry per step. The
# steps share a scratch directory made by `install`, whose path STATE holds:
#   install  installs the SDK from the shipped tree into the scratch
#            directory, checks the installed files against sdk-files.txt, and
#            builds the examples against it (scripts/build-examples.sh)
#   hello    runs hello.exe with two arguments: exit code 0, and its debug
#            line tells 3 words, the last one, and the 32 pixels of its line
#   binary   checks scene.exe as the shipped programs are checked: PE32, GUI,
#            Windows 4.0, size, and every import in win32-imports.txt
#   window   runs scene.exe in a window (scripts/scene-window-test.sh)
#   cleanup  removes the scratch directory
set -uo pipefail
step=$1 state=$2 source=$3 shipped=$4 hostbin=$5
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
binary)
    sh "$source/tests/support/check_pe.sh" "$work/build/scene/scene.exe" 204800 \
        "GDI32.dll KERNEL32.dll msvcrt.dll USER32.dll" "GDI32.dll KERNEL32.dll USER32.dll"
    ;;
window)
    bash "$source/scripts/scene-window-test.sh" "$work/build/scene/scene.exe" \
        "$work/build/scene/art.pak" "$hostbin/scene_reference"
    ;;
cleanup)
    rm -rf "$work" "$state"
    ;;
*)
    echo "examples_test.sh: unknown step $step" >&2
    exit 2
    ;;
esac

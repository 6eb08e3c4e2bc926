#!/usr/bin/env bash
# scene-window-test.sh SCENE_EXE ART REFERENCE [SCREENSHOT.png]
# Runs the example program as a player sees it: in a window on a virtual X
# display (Xvfb, no window manager), under Wine in $WINEPREFIX, with keys
# typed through xdotool, and checks:
#   - the window's client area is 320 x 200 and the animation runs (the
#     frame number in the title grows);
#   - keys reach the program through the shell's keyboard hook: m and s set
#     the player's mirror and source-row mixing, a held Right arrow and a tap
#     of Down move the player, p pauses; then m, f, s and d turn mirroring
#     and source-row mixing off and flipping and destination-row mixing on,
#     n steps the frame three times and Shift+n once back, and a held Left
#     arrow moves the player over the left edge as far as it goes;
#   - at both pauses, the client area equals pixel for pixel the picture that
#     REFERENCE (the host build of the shell, drawing into memory) gives for
#     the state the title shows, mapped through the palette of ART;
#   - Escape ends the program: exit code 0, the window gone, the display's
#     Shutdown reported once with the window closed, and no file left behind
#     in the directory the program lies and runs in.
# With SCENE_DRIVER set (scene_driver.exe), the program is started through it
# and its exit code is the one Windows gives (see scene-test-lib.sh).
# With SCREENSHOT, the first compared capture is copied there (a PNG without
# time stamps, so that an unchanged picture gives the same file).
set -uo pipefail
exe=$1 art=$2 reference=$3 screenshot=${4:-}
: "${WINEPREFIX:=$HOME/.wine}"
export WINEPREFIX

source "$(dirname "$0")/scene-test-lib.sh"
start_xvfb 800x600

mkdir "$work/run"
cp "$exe" "$work/run/scene.exe"
before=$(listing)
start_program

find_window 60
read -r width height left top <<<"$(geometry "$window")"
echo "window $window: client area ${width}x${height} at $left,$top"
[ "$width" = 320 ] && [ "$height" = 200 ] || fail "the client area is ${width}x${height}, not 320x200"
xdotool mousemove 790 590
xdotool windowfocus --sync "$window" 2>/dev/null

player_x_past() {
    local t x
    t=$(title)
    x=$(field "$t" player)
    [ "${x%%,*}" -gt "$1" ]
}

start=$(wait_title ' - running$') || exit 1
echo "running: $start"
wait_until 20 "the animation did not run (frame $(field "$start" frame) stays)" \
    frame_past "$(field "$start" frame)"
echo "later: $(title)"

# First pause: mirrored and mixed as the source row, moved right and down.
keys m
wait_title ' flags 1 - ' >/dev/null
keys s
wait_title ' flags 5 - ' >/dev/null
xdotool keydown Right
IFS=, read -r x0 y0 <<<"$(field "$start" player)"
wait_until 20 "holding Right did not move the player from x $x0" player_x_past "$x0"
xdotool keyup Right
keys Down
keys p
first=$(settled ' - paused$') || exit 1
echo "first pause: $first"
IFS=, read -r x1 y1 <<<"$(field "$first" player)"
[ "$x1" -gt "$x0" ] || fail "Right did not move the player ($x0 -> $x1)"
[ "$y1" -gt "$y0" ] || fail "Down did not move the player ($y0 -> $y1)"
capture first "$width" "$height" "$left" "$top"
[ "$(title)" = "$first" ] || fail "the state changed during the capture: $(title)"
compare_with_reference first "$first"

# Second pause: the other flags, two frames on, the player over the left edge.
frame1=$(field "$first" frame)
keys m f s d
wait_title ' flags 10 - ' >/dev/null
keys n n n shift+n
wait_title " frame $((frame1 + 2)) - " >/dev/null
xdotool keydown Left
wait_title ' player -28,' 10 >/dev/null
xdotool keyup Left
second=$(settled " frame $((frame1 + 2)) - player -28,$y1 - flags 10 - mark none - paused$") ||
    exit 1
echo "second pause: $second"
capture second "$width" "$height" "$left" "$top"
[ "$(title)" = "$second" ] || fail "the state changed during the capture: $(title)"
compare_with_reference second "$second"

if [ -n "$screenshot" ]; then
    cp "$work/first.png" "$screenshot"
    echo "screenshot: $screenshot"
fi

end_with_escape
echo PASS

#!/usr/bin/env bash
# scene-scaled-test.sh SCENE_EXE ART REFERENCE [SCREENSHOT.png]
# Runs the example program with the arguments in SCENE_ARGS on a virtual X
# display of 1600 x 1200 (Xvfb, no window manager, no Wine virtual desktop),
# under Wine in $WINEPREFIX, where it shows the scene scaled: in a window at
# a zoom (--zoom N), or full screen on the desktop (--desktop, or a mode that
# Wine refuses outside a virtual desktop). It checks:
#   - the client area is SCENE_CLIENT (WIDTHxHEIGHT; the desktop's is the
#     screen, at 0,0); with SCENE_REFUSED set, the program says that the mode
#     was refused and that the desktop shows the picture instead;
#   - paused (key p), clicks of the left button through xdotool at known
#     points of the client area (on the picture, in the black around it, at
#     its corners) put the mark at the picture pixel each one must give, and
#     the title shows it at once;
#   - the client area equals pixel for pixel the host's picture (REFERENCE)
#     of the state the title shows, the mark included, enlarged by the
#     largest whole-number factor that fits (with SCENE_ASPECT set, 4:3: the
#     rows as many times taller as make it), centred, black around it;
#   - with SCENE_RESIZE (WIDTHxHEIGHT), the window's client area is resized
#     to that through X, as a player's drag does, and the clicks and the
#     comparison are made again at the scale that fits then;
#   - Escape ends the program as in the window test (exit code 0, the window
#     gone, Shutdown once, no file left behind).
# The layout is worked out here from the client area's size, not by the
# display's code. With SCENE_DRIVER set (scene_driver.exe), the program is
# started through it (see scene-test-lib.sh). With SCREENSHOT, the first
# compared capture is copied there.
set -uo pipefail
exe=$1 art=$2 reference=$3 screenshot=${4:-}
: "${WINEPREFIX:=$HOME/.wine}"
export WINEPREFIX
read -r -a arguments <<<"${SCENE_ARGS:-}"

source "$(dirname "$0")/scene-test-lib.sh"
start_xvfb 1600x1200

mkdir "$work/run"
cp "$exe" "$work/run/scene.exe"
before=$(listing)
start_program "${arguments[@]}"
find_window 90
if [ -n "${SCENE_REFUSED:-}" ]; then
    refused() { grep -q 'scene: no full screen (result -3), the desktop instead' "$work/wine.log"; }
    wait_until 30 "the program did not report the refused mode" refused
    echo "full screen ${arguments[*]} refused outside a virtual desktop: the desktop instead"
fi

# layout WIDTH HEIGHT: where the 320 x 200 picture lies in a client area of
# that size: sets left, top, scaled_width, scaled_height and the factors.
layout() {
    local s
    if [ -n "${SCENE_ASPECT:-}" ] && [ $(($1 / 320)) -ge 1 ] && [ $(($2 / 240)) -ge 1 ]; then
        s=$(($1 / 320 < $2 / 240 ? $1 / 320 : $2 / 240))
        scaled_width=$((320 * s)) scaled_height=$((240 * s))
    else
        s=$(($1 / 320 < $2 / 200 ? $1 / 320 : $2 / 200))
        [ "$s" -ge 1 ] || s=1
        scaled_width=$((320 * s)) scaled_height=$((200 * s))
    fi
    [ $((scaled_height % 200)) = 0 ] || fail "a layout with rows of two heights: not compared here"
    across=$((scaled_width / 320)) down=$((scaled_height / 200))
    left=$((($1 - scaled_width) / 2)) top=$((($2 - scaled_height) / 2))
    echo "layout: ${scaled_width}x$scaled_height at $left,$top (${across}x across, ${down}x down)"
}

# click_at X Y PX PY: a left click at client point X,Y must put the mark at
# picture pixel PX,PY.
click_at() {
    xdotool mousemove $((client_left + $1)) $((client_top + $2)) click 1
    wait_title " - mark $3,$4 - paused$" 20 >/dev/null
    echo "click at $1,$2 of the client area: mark $3,$4"
}

# check NAME: the client area's size, the clicks, then the capture.
check() {
    read -r width height client_left client_top <<<"$(geometry "$window")"
    echo "window $window: client area ${width}x${height} at $client_left,$client_top"
    layout "$width" "$height"
    local right=$((left + scaled_width - 1)) bottom=$((top + scaled_height - 1))
    # Each click lands on the first or the last screen pixel of a picture
    # pixel, or outside the picture, where the nearest edge counts.
    click_at 0 0 0 0
    click_at $((width - 1)) $((height - 1)) 319 199
    click_at $((left + across * 217)) $((top + down * 133)) 217 133
    click_at $((left + across * 101 - 1)) $((top + down * 51 - 1)) 100 50
    if [ "$left" -gt 0 ]; then click_at $((left - 1)) $((top + down * 7)) 0 7; fi
    if [ "$top" -gt 0 ]; then click_at $((left + across * 300)) $((bottom + 1)) 300 199; fi
    click_at $((right - across * 12)) $((top + down * 160)) 307 160
    # The pointer leaves the picture alone for the capture.
    xdotool mousemove $((client_left + width / 2)) $((client_top + 2))
    local state
    state=$(settled ' - mark 307,160 - paused$') || exit 1
    capture "$1" "$width" "$height" "$client_left" "$client_top"
    [ "$(title)" = "$state" ] || fail "the state changed during the capture: $(title)"
    compare_with_reference "$1" "$state" "$width" "$height" "$left" "$top" \
        "$scaled_width" "$scaled_height"
}

read -r width height client_left client_top <<<"$(geometry "$window")"
[ "${width}x$height" = "${SCENE_CLIENT:?}" ] ||
    fail "the client area is ${width}x$height, not $SCENE_CLIENT"
xdotool windowfocus --sync "$window" 2>/dev/null
start=$(wait_title ' - running$' 30) || exit 1
wait_until 20 "the animation did not run" frame_past "$(field "$start" frame)"
keys p
paused=$(settled ' - mark none - paused$') || exit 1
echo "paused: $paused"
check first
if [ -n "$screenshot" ]; then
    cp "$work/first.png" "$screenshot"
    echo "screenshot: $screenshot"
fi

if [ -n "${SCENE_RESIZE:-}" ]; then
    xdotool windowsize "$window" "${SCENE_RESIZE%x*}" "${SCENE_RESIZE#*x}"
    resized() { [ "$(geometry "$window" | awk '{ print $1 "x" $2 }')" = "$SCENE_RESIZE" ]; }
    wait_until 20 "the client area did not take $SCENE_RESIZE" resized
    echo "resized to $SCENE_RESIZE"
    check resized
fi

xdotool windowfocus --sync "$window" 2>/dev/null
end_with_escape
echo PASS

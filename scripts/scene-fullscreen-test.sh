#!/usr/bin/env bash
# scene-fullscreen-test.sh SCENE_EXE ART REFERENCE SWITCH_AWAY [SCREENSHOT.png]
# Runs the example program full screen, as a player sees it, in each 8-bit
# mode of the shell's display-mode table, under Wine in a virtual desktop of
# 1600 x 1200 x 32 on a virtual X display, and checks for each mode:
#   - the mode is set: the program reports what DirectDraw says after
#     SetDisplayMode, and Wine's desktop window has the mode's size;
#   - in the first mode only, while the scene runs, DRIVER brings a window of
#     its own to the front for 3 s: Wine's time-stamped ddraw trace shows no
#     SetDisplayMode of the program between "away" and "coming back", the
#     desktop keeps its own 1600 x 1200 from when Wine gives it back until
#     the player returns, and the frames go on;
#     back, the program shows its mode again;
#   - a left click puts the mark at the same pixel of the scene (the mode's
#     picture is the screen, the scene in its middle);
#   - paused (key p), the screen equals pixel for pixel the host's picture
#     (REFERENCE) of the state the title shows, through the palette of ART, in
#     the middle of a black screen;
#   - DRIVER (scene_driver.exe) brings a window of its own to the front and
#     the program's back: the program restores its lost surfaces and the screen shows the
#     same picture again;
#   - Escape ends the program with exit code 0, no window left, the display
#     shut down once with the desktop's 1600 x 1200 x 32 restored, no file left
#     behind, and every Wine process of the run ends.
# Wine refuses full-screen modes outside a virtual desktop (SetDisplayMode
# fails), so the run has a Wine prefix of its own whose every program opens
# in the virtual desktop. The desktop is as large as the largest mode: Wine
# gives a minimised window back no larger than the desktop's own mode, which
# is set while the player is away, so in a smaller desktop a larger mode
# would come back covered only in part. With SCREENSHOT, the first mode's compared capture
# is copied there.
set -uo pipefail
exe=$1 art=$2 reference=$3 driver=$4 screenshot=${5:-}
modes=${SCENE_FULLSCREEN_MODES:-320x200 320x240 512x384 640x400 640x480 800x600 1024x768 1280x1024 1600x1200}
desktop=1600x1200

source "$(dirname "$0")/scene-test-lib.sh"
start_xvfb 1600x1200
mkdir "$work/run" "$work/prefix"
cp "$exe" "$work/run/scene.exe"
SCENE_DRIVER=$driver

# The prefix: made once, every program in the virtual desktop "Tarnwick" (the
# driver must share the program's desktop), no crash dialog that could cover
# the screen. Its wineserver is stopped after each mode and on every exit.
#
# Wine's desktop is made by the native 64-bit explorer before the program
# starts. A desktop's explorer registers a COM class with rpcss (a native
# process) before it takes its first message, and a program's first window
# waits until the desktop has taken one. The 32-bit explorer, emulated,
# sometimes never receives rpcss's answer to that registration, and then the
# explorer and the program wait for good: about 1 start in 4 under the
# emulator. The 64-bit one has no such wait on the emulator.
export WINEPREFIX=$work/prefix WINEDEBUG=-all
wine64=${WINE64:-$(command -v wine64 || echo /usr/lib/wine/wine64)}
[ -x "$wine64" ] || fail "no wine64 for the virtual desktop (WINE64=...)"
stop_wine() {
    timeout 60 wineserver -k >/dev/null 2>&1
    timeout 60 wineserver -w >/dev/null 2>&1
}
trap 'stop_wine; finish' EXIT
echo "wine: a prefix of its own in $WINEPREFIX"
timeout 300 wineboot --init >/dev/null 2>&1
# Under an emulator a Wine process that ends may be reported as killed (exit
# code 137) whatever it returned: the settings are checked by their effect
# (the program's window in the desktop), the program's exit code through the
# driver, which asks Windows for it.
reg_add() { timeout 120 wine reg add "HKCU\\Software\\Wine\\$1" /f "${@:2}" >/dev/null 2>&1; }
reg_add Explorer /v Desktop /d Tarnwick
reg_add 'Explorer\Desktops' /v Tarnwick /d "$desktop"
reg_add WineDbg /v ShowCrashDialog /t REG_DWORD /d 0
stop_wine

# start_desktop: Wine's desktop of $desktop, shown on the X display.
start_desktop() {
    timeout 1800 "$wine64" explorer /desktop=Tarnwick,$desktop >"$work/desktop.log" 2>&1 &
    wait_until 60 "Wine's desktop did not show" desktop_is "$desktop"
}

desktop_is() { [ "$(desktop_size)" = "$1" ]; }
# debug_line REGEX: the program's debug output has a line that matches.
debug_line() { grep -Eq "$1" "$work/wine.log"; }
# Wine's desktop window, and its size.
desktop_size() {
    local id
    id=$(xdotool search --name '^Tarnwick - Wine desktop$' 2>/dev/null | head -n 1)
    [ -n "$id" ] && geometry "$id" | awk '{ print $1 "x" $2 }'
}

# away_while_running MODE: the player switches away for 3 s while the scene
# runs, and back.
away_while_running() {
    local frame_away frame_back samples=0 size sizes= own= went= calls
    frame_away=$(field "$(title)" frame)
    (cd "$work" && WINEDEBUG=-all,+timestamp,+debugstr timeout 120 wine scene_driver.exe switch 3000) \
        >"$work/away.log" 2>"$work/away-debug.log" &
    local driver=$!
    # Once Wine has given the desktop its own mode back (a moment after the
    # program's window is minimised), it keeps it until the player is back.
    # A look counts only if the driver had not begun to come back when it
    # ended: the driver says so before it restores the program's window.
    while kill -0 "$driver" 2>/dev/null; do
        if grep -q 'minimised' "$work/away.log" && ! grep -q 'coming back' "$work/away.log"; then
            size=$(desktop_size)
            grep -q 'coming back' "$work/away.log" && break
            sizes="$sizes ${size:-none}"
            if [ "$size" = "$desktop" ]; then
                own=yes
                samples=$((samples + 1))
            elif [ -n "$own" ]; then
                went=${size:-none}
            fi
        fi
        sleep 0.2
    done
    wait "$driver"
    sed 's/^/away: /' "$work/away.log"
    grep -q 'scene_driver: back' "$work/away.log" || fail "$1: switching away and back failed"
    # The program's SetDisplayMode calls between "away" and "coming back".
    calls=$(awk -v from="$(sed -nE 's/^([0-9.]+):.*scene_driver: away.*/\1/p' "$work/away-debug.log")" \
                -v to="$(sed -nE 's/^([0-9.]+):.*scene_driver: coming back.*/\1/p' "$work/away-debug.log")" \
                -F: 'from == "" || to == "" { print "none"; exit }
                     /trace:ddraw:ddraw1_SetDisplayMode/ && $1 + 0 > from + 0 && $1 + 0 < to + 0 { n++ }
                     END { if (from != "" && to != "") print n + 0 }' "$work/wine.log")
    echo "$1: SetDisplayMode while in the background: $calls (all: $(grep -c 'trace:ddraw:ddraw1_SetDisplayMode' "$work/wine.log"))"
    [ "$calls" = 0 ] || fail "$1: the program set its mode while in the background"
    [ -z "$went" ] || fail "$1: while away, the desktop went from $desktop to $went (looks:$sizes)"
    [ "$samples" -gt 0 ] || fail "$1: the desktop never had its own mode while away (looks:$sizes)"
    echo "$1: away, the desktop kept its $desktop once it had it (looks:$sizes)"
    wait_until 30 "Wine's desktop did not take the mode again" desktop_is "$1"
    frame_back=$(field "$(title)" frame)
    [ $((frame_back - frame_away)) -ge 10 ] ||
        fail "$1: the scene did not run while away (frame $frame_away, then $frame_back)"
    echo "$1: frames $frame_away to $frame_back while away and back"
}

first_mode=${modes%% *}
for mode in $modes; do
    echo
    echo "=== $mode"
    mode_width=${mode%x*} mode_height=${mode#*x}
    start_desktop
    before=$(listing)
    SCENE_TRACE=
    [ "$mode" = "$first_mode" ] && SCENE_TRACE=+timestamp,+ddraw
    start_program "$mode"
    find_window 120
    wait_until 60 "the program did not report its display" \
        debug_line 'scene: (full screen|no full screen)'
    grep -E 'scene: (full screen|no full screen)' "$work/wine.log" | sed 's/^.*"scene/debug: scene/'
    debug_line "scene: full screen $mode, DirectDraw reports ${mode}x8" ||
        fail "$mode: the mode was not set as asked"
    read -r width height left top <<<"$(geometry "$window")"
    [ "$width $height $left $top" = "$mode_width $mode_height 0 0" ] ||
        fail "$mode: the program's window is ${width}x$height at $left,$top"
    wait_until 30 "Wine's desktop did not take the mode" desktop_is "$mode"
    echo "desktop window: $(desktop_size)"

    xdotool windowfocus --sync "$window" 2>/dev/null
    start=$(wait_title ' - running$' 30) || exit 1
    wait_until 20 "the animation did not run" frame_past "$(field "$start" frame)"
    [ "$mode" = "$first_mode" ] && away_while_running "$mode"
    xdotool windowfocus --sync "$window" 2>/dev/null
    keys p
    settled ' - paused$' >/dev/null || exit 1
    # A click 37 pixels right of and 21 below the scene's top left corner.
    xdotool mousemove $(((mode_width - 320) / 2 + 37)) $(((mode_height - 200) / 2 + 21)) click 1
    paused=$(settled ' - mark 37,21 - paused$') || exit 1
    echo "paused: $paused"
    capture "$mode" "$width" "$height" 0 0
    compare_with_reference "$mode" "$paused" "$width" "$height"
    if [ -n "$screenshot" ]; then
        cp "$work/$mode.png" "$screenshot"
        echo "screenshot: $screenshot"
        screenshot=
    fi

    # Away and back: the surfaces are lost and restored, the picture shown again.
    (cd "$work" && timeout 120 wine scene_driver.exe switch) >"$work/switch.log" 2>&1
    sed 's/^/switch: /' "$work/switch.log"
    grep -q 'scene_driver: back' "$work/switch.log" || fail "$mode: switching away and back failed"
    wait_until 30 "Wine's desktop did not take the mode again" desktop_is "$mode"
    # The program shows the picture again in its own time.
    shown_again() {
        import -window root -crop "${width}x$height+0+0" +repage -strip "$work/$mode-back.png" &&
            stream -map rgb -storage-type char "$work/$mode-back.png" "$work/back.rgb" &&
            cmp -s "$work/back.rgb" "$work/$mode.expected.rgb"
    }
    wait_until 60 "$mode: the picture was not shown again" shown_again
    [ "$(title)" = "$paused" ] || fail "the state changed while away: $(title)"
    echo "$mode: back, all $((width * height)) pixels equal the reference's again"

    xdotool windowfocus --sync "$window" 2>/dev/null
    end_with_escape
    grep 'scene: mode restored' "$work/wine.log" | sed 's/^.*"scene/debug: scene/'
    debug_line "scene: mode restored: ${desktop}x32; surfaces restored [1-9][0-9]* times" ||
        fail "$mode: the desktop's mode was not restored, or no lost surface was restored"
    for pid in $(pgrep -f 'scene(_driver)?\.exe'); do
        grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null &&
            fail "$mode: a process of the program is still there: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    done
    echo "process: gone"
    stop_wine
done
echo PASS

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
# With SCREENSHOT, the first compared capture is copied there (a PNG without
# time stamps, so that an unchanged picture gives the same file).
set -uo pipefail
exe=$1 art=$2 reference=$3 screenshot=${4:-}
: "${WINEPREFIX:=$HOME/.wine}"
export WINEPREFIX

work=$(mktemp -d "${TMPDIR:-/tmp}/scene-window.XXXXXX")
app= xvfb=
finish() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
# Also called inside $(...): the message goes to stderr, the caller exits.
fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/wine.log" ] && sed 's/^/  wine: /' "$work/wine.log" | tail -n 20 >&2
    exit 1
}

# A display of our own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 800x600x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=:$(head -n 1 "$work/display")
echo "display $DISPLAY"

mkdir "$work/run"
cp "$exe" "$work/run/scene.exe"
listing() { (cd "$work/run" && find . | sort); }
before=$(listing)
(cd "$work/run" && WINEDEBUG=-all,+debugstr exec wine scene.exe) >"$work/out.log" 2>"$work/wine.log" &
app=$!

title() { xdotool getwindowname "$window" 2>/dev/null; }
# wait_title REGEX [SECONDS]: until the title matches; prints it.
wait_title() {
    local t
    for _ in $(seq $((${2:-10} * 10))); do
        t=$(title)
        if [[ $t =~ $1 ]]; then
            echo "$t"
            return 0
        fi
        sleep 0.1
    done
    fail "the title never matched /$1/; it reads: $t"
}
# settled REGEX: as wait_title, then until the title has stayed the same for
# half a second (a key taken just before the last one may still move the
# player on the next frame step).
settled() {
    local t u
    t=$(wait_title "$1") || exit 1
    for _ in $(seq 20); do
        sleep 0.5
        u=$(title)
        if [ "$u" = "$t" ]; then
            echo "$t"
            return 0
        fi
        t=$u
    done
    fail "the title does not settle: $t"
}
# field TITLE NAME: the number after "NAME " in a title ("player" gives X,Y).
field() { sed -E "s/.* $2 (-?[0-9]+(,-?[0-9]+)?) .*/\1/" <<<"$1"; }
keys() { xdotool key --delay 60 "$@"; }

window=
for _ in $(seq 600); do
    window=$(xdotool search --name '^Tarnwick scene - ' 2>/dev/null | head -n 1)
    [ -n "$window" ] && break
    kill -0 "$app" 2>/dev/null || fail "the program ended before its window showed"
    sleep 0.1
done
[ -n "$window" ] || fail "no window within a minute"
geometry=$(xwininfo -id "$window")
left=$(awk '/Absolute upper-left X/ { print $NF }' <<<"$geometry")
top=$(awk '/Absolute upper-left Y/ { print $NF }' <<<"$geometry")
width=$(awk '/Width:/ { print $NF }' <<<"$geometry")
height=$(awk '/Height:/ { print $NF }' <<<"$geometry")
echo "window $window: client area ${width}x${height} at $left,$top"
[ "$width" = 320 ] && [ "$height" = 200 ] || fail "the client area is ${width}x${height}, not 320x200"
xdotool mousemove 790 590
xdotool windowfocus --sync "$window" 2>/dev/null

# wait_until SECONDS WHAT COMMAND...: runs COMMAND every tenth of a second
# until it succeeds; fails naming WHAT when SECONDS pass first. Slow machines
# (Wine under an emulator) take longer, never a different path.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what within $seconds s"
}
frame_past() { [ "$(field "$(title)" frame)" -gt "$1" ]; }
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

# capture NAME: the client area, once two grabs a moment apart agree.
capture() {
    local grab=(import -window root -crop "${width}x${height}+${left}+${top}" +repage -strip
                -define png:exclude-chunks=date,time)
    for _ in $(seq 10); do
        "${grab[@]}" "$work/$1.png"
        sleep 0.3
        "${grab[@]}" "$work/$1.again.png"
        cmp -s "$work/$1.png" "$work/$1.again.png" && return 0
    done
    fail "the window's pixels do not settle"
}
# compare_with_reference NAME TITLE: the capture against the host's picture.
compare_with_reference() {
    "$reference" "$art" "$2" "$work/$1.reference.ppm" || fail "the reference cannot draw: $2"
    stream -map rgb -storage-type char "$work/$1.png" "$work/$1.rgb"
    stream -map rgb -storage-type char "$work/$1.reference.ppm" "$work/$1.reference.rgb"
    local differ
    differ=$(compare -metric AE "$work/$1.png" "$work/$1.reference.ppm" null: 2>&1)
    if ! cmp -s "$work/$1.rgb" "$work/$1.reference.rgb"; then
        fail "$1: $differ of $((width * height)) pixels differ from the reference for: $2"
    fi
    echo "$1: all $((width * height)) pixels equal the reference's ($(stat -c %s "$work/$1.rgb") bytes of RGB)"
}

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
capture first
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
second=$(settled " frame $((frame1 + 2)) - player -28,$y1 - flags 10 - paused$") || exit 1
echo "second pause: $second"
capture second
[ "$(title)" = "$second" ] || fail "the state changed during the capture: $(title)"
compare_with_reference second "$second"

if [ -n "$screenshot" ]; then
    cp "$work/first.png" "$screenshot"
    echo "screenshot: $screenshot"
fi

# Escape: the program ends, the frame shuts the display down.
keys Escape
for _ in $(seq 300); do
    kill -0 "$app" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$app" 2>/dev/null && fail "the program did not end within 30 s of Escape"
wait "$app"
code=$?
app=
echo "exit code: $code"
[ "$code" -eq 0 ] || fail "exit code $code"
if xdotool search --name '^Tarnwick scene' >/dev/null 2>&1; then
    fail "a window of the program is still there"
fi
echo "window: gone"
shutdowns=$(grep -c 'scene: Shutdown call' "$work/wine.log")
grep 'scene: Shutdown call' "$work/wine.log" | sed 's/^/debug: /'
[ "$shutdowns" -eq 1 ] || fail "Shutdown reported $shutdowns times"
grep -q 'scene: Shutdown call 1, window closed' "$work/wine.log" ||
    fail "Shutdown did not close the window"
after=$(listing)
[ "$before" = "$after" ] || fail "files left behind: $(diff <(echo "$before") <(echo "$after") | grep '^>')"
echo "files: none left behind"
echo PASS

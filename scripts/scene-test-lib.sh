# Sourced by the scene's tests under Wine (scene-window-test.sh,
# scene-fullscreen-test.sh): a scratch directory and a virtual X display of
# the test's own, both removed on every exit with the program if it still
# runs, and the waits, captures and comparisons both tests make. Every wait
# has a deadline: a slow machine (Wine under an emulator) takes longer,
# never a different path.
work=$(mktemp -d "${TMPDIR:-/tmp}/scene-test.XXXXXX")
app= xvfb=
finish() {
    [ -n "$app" ] && kill "$app" 2>/dev/null
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null
    # SCENE_TEST_KEEP=DIR keeps the captures and logs there, to look at.
    [ -n "${SCENE_TEST_KEEP:-}" ] && cp "$work"/*.png "$work"/*.log "$SCENE_TEST_KEEP"/ 2>/dev/null
    rm -rf "$work"
}
trap finish EXIT
# Also called inside $(...): the message goes to stderr, the caller exits.
fail() {
    echo "FAIL: $*" >&2
    [ -s "$work/wine.log" ] && sed 's/^/  wine: /' "$work/wine.log" | tail -n 20 >&2
    exit 1
}

# start_xvfb WIDTHxHEIGHT: a display of our own; Xvfb picks a free number
# and writes it to fd 3.
start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
    xvfb=$!
    for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
    [ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
    export DISPLAY=:$(head -n 1 "$work/display")
    echo "display $DISPLAY"
}

# wait_until SECONDS WHAT COMMAND...: runs COMMAND every tenth of a second
# until it succeeds; fails naming WHAT when SECONDS pass first.
wait_until() {
    local seconds=$1 what=$2
    shift 2
    for _ in $(seq $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what within $seconds s"
}

# The program's window ($window) and its title.
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
frame_past() { [ "$(field "$(title)" frame)" -gt "$1" ]; }

# find_window SECONDS: sets $window to the program's window once it shows.
find_window() {
    window=
    for _ in $(seq $(($1 * 10))); do
        window=$(xdotool search --name '^Tarnwick scene - ' 2>/dev/null | head -n 1)
        [ -n "$window" ] && return 0
        kill -0 "$app" 2>/dev/null || fail "the program ended before its window showed"
        sleep 0.1
    done
    fail "no window within $1 s"
}
# geometry ID: "WIDTH HEIGHT LEFT TOP" of an X window, absolute.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF }
                             /Width:/ { w = $NF } /Height:/ { h = $NF } END { print w, h, x, y }'
}

# capture NAME WIDTH HEIGHT LEFT TOP: that part of the screen, once two grabs
# a moment apart agree.
capture() {
    local grab=(import -window root -crop "$2x$3+$4+$5" +repage -strip
                -define png:exclude-chunks=date,time)
    for _ in $(seq 10); do
        "${grab[@]}" "$work/$1.png"
        sleep 0.3
        "${grab[@]}" "$work/$1.again.png"
        cmp -s "$work/$1.png" "$work/$1.again.png" && return 0
    done
    fail "the screen's pixels do not settle"
}
# compare_with_reference NAME TITLE [WIDTH HEIGHT [LEFT TOP SCALED_WIDTH
# SCALED_HEIGHT]]: the capture NAME against the host's picture of the state
# TITLE; with WIDTH and HEIGHT, the capture is a whole screen (or client
# area) of that size, black but for the picture, which lies in its middle or
# at LEFT, TOP, enlarged to SCALED_WIDTH x SCALED_HEIGHT by repeating each of
# its pixels (whole factors only).
compare_with_reference() {
    "$reference" "$art" "$2" "$work/$1.reference.ppm" || fail "the reference cannot draw: $2"
    local expected=$work/$1.reference.ppm
    if [ $# -ge 8 ]; then
        [ $(($7 % 320)) = 0 ] && [ $(($8 % 200)) = 0 ] || fail "$1: $7x$8 is no whole-number scale"
        expected=$work/$1.expected.ppm
        convert -size "$3x$4" xc:black \( "$work/$1.reference.ppm" -sample "$7x$8!" \) \
            -geometry "+$5+$6" -composite -depth 8 "$expected"
    elif [ $# -ge 4 ]; then
        expected=$work/$1.expected.ppm
        convert -size "$3x$4" xc:black "$work/$1.reference.ppm" -gravity center -composite \
            -depth 8 "$expected"
    fi
    stream -map rgb -storage-type char "$work/$1.png" "$work/$1.rgb"
    stream -map rgb -storage-type char "$expected" "$work/$1.expected.rgb"
    local differ pixels=$(($(stat -c %s "$work/$1.expected.rgb") / 3))
    differ=$(compare -metric AE "$work/$1.png" "$expected" null: 2>&1)
    if ! cmp -s "$work/$1.rgb" "$work/$1.expected.rgb"; then
        fail "$1: $differ of $pixels pixels differ from the reference for: $2"
    fi
    echo "$1: all $pixels pixels equal the reference's ($(stat -c %s "$work/$1.rgb") bytes of RGB)"
}

# wait_exit SECONDS: until the program ends; sets $code to its exit code.
wait_exit() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$app" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$app" 2>/dev/null && fail "the program did not end within $1 s of Escape"
    wait "$app"
    code=$?
    app=
    echo "exit code: $code"
}

# start_program [ARGUMENT...]: starts $work/run/scene.exe under Wine, debug
# output (and the channels that SCENE_TRACE names, such as +ddraw) in
# $work/wine.log, the program (or its starter) in $app. With
# $SCENE_DRIVER (scene_driver.exe of the Win32 tests), the driver starts it
# and prints the exit code Windows gives for it: under an emulator on a busy
# machine, the Unix side of Wine reports a process that ended as killed (137)
# whatever it returned.
start_program() {
    local starter=()
    if [ -n "${SCENE_DRIVER:-}" ]; then
        [ -f "$work/scene_driver.exe" ] || cp "$SCENE_DRIVER" "$work/scene_driver.exe"
        starter=(../scene_driver.exe run)
        exit_code_line="scene_driver: exit code"
    fi
    (cd "$work/run" && WINEDEBUG=-all,+debugstr${SCENE_TRACE:+,$SCENE_TRACE} \
        exec wine "${starter[@]}" scene.exe "$@") \
        >"$work/out.log" 2>"$work/wine.log" &
    app=$!
}

# The files in the directory the program lies and runs in.
listing() { (cd "$work/run" && find . | sort); }

# end_with_escape: Escape ends the program with exit code 0, no window of it
# is left, the frame shut the display down once and it closed the window
# (the program reports that to the debugger at exit), and the program left
# no file behind ($before holds the listing from before it started).
end_with_escape() {
    keys Escape
    wait_exit 60
    if [ -n "${exit_code_line:-}" ]; then
        # The code as Windows gives it, printed by the program's starter.
        code=$(sed -nE "s/^$exit_code_line ([0-9]+).*/\1/p" "$work/out.log")
        echo "exit code as Windows gives it: ${code:-none}"
    fi
    [ "$code" = 0 ] || fail "exit code ${code:-missing}"
    if xdotool search --name '^Tarnwick scene' >/dev/null 2>&1; then
        fail "a window of the program is still there"
    fi
    echo "window: gone"
    local shutdowns
    shutdowns=$(grep -c 'scene: Shutdown call' "$work/wine.log")
    grep 'scene: Shutdown call' "$work/wine.log" | sed 's/^/debug: /'
    [ "$shutdowns" -eq 1 ] || fail "Shutdown reported $shutdowns times"
    grep -q 'scene: Shutdown call 1, window closed' "$work/wine.log" ||
        fail "Shutdown did not close the window"
    local after
    after=$(listing)
    [ "$before" = "$after" ] ||
        fail "files left behind: $(diff <(echo "$before") <(echo "$after") | grep '^>')"
    echo "files: none left behind"
}

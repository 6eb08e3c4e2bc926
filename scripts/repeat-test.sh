#!/usr/bin/env bash
# repeat-test.sh ROUNDS TEST...
# Runs the named tests of the win32-tests preset (exact ctest names) ROUNDS
# times in a row, as a long check outside the test command: a test that
# passes once may still fail one run in ten. Each round is one ctest run of
# all of them (fixtures such as examples_install set up once a round), taken
# under the shared Wine lock for that round only, so that others can use
# Wine between rounds: run this script itself without the lock. Stops at the
# first round with a failure, and keeps every round's log in
# build/repeat/ROUND.log. Prints, for each test, the clean rounds in a row.
# The environment passes through to the tests (for example
# SCENE_FULLSCREEN_MODES=320x200 for the full-screen test's first mode only).
set -uo pipefail
cd "$(dirname "$0")/.."
rounds=$1
shift
[ $# -gt 0 ] || { echo "usage: repeat-test.sh ROUNDS TEST..." >&2; exit 2; }
lock=${TARNWICK_WINE_LOCK:-/tmp/tarnwick-wine.lock}
logs=build/repeat
mkdir -p "$logs"
pattern="^($(IFS='|'; echo "$*"))\$"
declare -A clean
for t in "$@"; do clean[$t]=0; done

status=0
for round in $(seq "$rounds"); do
    log=$logs/$round.log
    start=$(date +%s)
    flock "$lock" ctest --preset win32-tests -R "$pattern" --output-on-failure >"$log" 2>&1
    failed=0
    for t in "$@"; do
        if grep -Eq "Test +#[0-9]+: $t \.+ +Passed" "$log"; then
            clean[$t]=$((clean[$t] + 1))
        else
            echo "round $round: $t did not pass (see $log)"
            failed=1
        fi
    done
    echo "round $round: $([ $failed = 0 ] && echo clean || echo FAILED) in $(($(date +%s) - start)) s"
    if [ $failed = 1 ]; then
        status=1
        break
    fi
done
for t in "$@"; do echo "$t: ${clean[$t]} clean rounds in a row"; done
exit $status

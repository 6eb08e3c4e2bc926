# Sourced by the scripts that run programs under Wine: gives the run its own
# temporary WINEPREFIX, initialised once, and stops its wineserver and removes
# it on exit.
WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/tarnwick-wine.XXXXXX")
export WINEPREFIX
export WINEDEBUG=-all
stop_wine_prefix() {
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
}
trap stop_wine_prefix EXIT
echo "wine: initialising a private prefix in $WINEPREFIX"
wineboot --init >/dev/null 2>&1 || true
wineserver -w >/dev/null 2>&1 || true

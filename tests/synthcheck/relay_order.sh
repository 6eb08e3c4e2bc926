#!/usr/bin/env bash
# relay_order.sh EXE FALLBACK_PREFIX
# Runs synthcheck.exe once under WINEDEBUG=+relay and checks the platform
# calls the program itself makes (return address inside its own image, on
# its main thread) against the order of the frame:
#   static record: two semaphores created, the first Flush waits on and
#     releases the second, all before the start-up calls WinMain;
#   WinMain: current directory (error log), the keyboard hook (for all
#     threads, refused, then for this thread), the command line, the device
#     scan, registry create/close/open/set/close, the unhook;
#   exit: the last Flush, then the second semaphore closed before the first.
# Prints the whole sequence as seen (runs of one call folded into one line).
set -uo pipefail
exe=$1
export WINEPREFIX=${WINEPREFIX:-$2}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}

work=$(mktemp -d "${TMPDIR:-/tmp}/synthcheck-relay.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/cwd"
cp "$exe" "$work/bin/synthcheck.exe"

headers=$("$objdump" -p "$exe" | tr -d '\r')
base=$(echo "$headers" | awk '$1 == "ImageBase" { print $2 }')
size=$(echo "$headers" | awk '$1 == "SizeOfImage" { print $2 }')
lo=$((16#$base))
hi=$((16#$base + 16#$size))
printf 'image: %08x..%08x\n' "$lo" "$hi"

# No DLL override left behind by another test may change what is loaded.
WINEDEBUG=-all wine reg delete 'HKCU\Software\Wine\AppDefaults\synthcheck.exe' /f >/dev/null 2>&1
WINEDEBUG=-all wine reg delete 'HKCU\Software\Tarnwick Productions Ltd\Audio' /f >/dev/null 2>&1

# Relay lines: "tid:Call dll.Func(args) ret=addr" and
# "tid:Ret  dll.Func() retval=value ret=addr". Keep those whose return
# address lies inside the image, of the thread that made the first such call
# (the program's main thread: Wine's own processes write here too, and on a
# slow machine one of them may write first); join each Ret to its Call as
# "Func(args) = value".
(cd "$work/cwd" && WINEDEBUG=+relay wine "$work/bin/synthcheck.exe" 2>&1 >/dev/null) |
    grep -aE '^[0-9a-f]+:(Call|Ret) ' |
    awk -v lo="$lo" -v hi="$hi" '
        function hex(s,   i, v) {
            v = 0; s = tolower(s)
            for (i = 1; i <= length(s); i++) v = v * 16 + index("0123456789abcdef", substr(s, i, 1)) - 1
            return v
        }
        {
            split($0, head, ":"); tid = head[1]
            if (!match($0, /ret=[0-9a-f]+$/)) next
            r = hex(substr($0, RSTART + 4, RLENGTH - 4))
            if (r < lo || r >= hi) next
            if (main == "") main = tid
            if (tid != main) next
            if ($0 ~ /:Call /) {
                call = $0; sub(/^[0-9a-f]+:Call +/, "", call); sub(/ ret=[0-9a-f]+$/, "", call)
                sub(/^[A-Za-z0-9_]+\./, "", call)
                if (pending != "") print pending " (does not return here)"
                pending = call
            } else if (pending != "") {
                v = $0; sub(/.* retval=/, "", v); sub(/ ret=.*/, "", v)
                print pending " = " v
                pending = ""
            }
        }
        END { if (pending != "") print pending " (no return)" }' >"$work/calls"

echo "calls made by synthcheck.exe on its main thread:"
awk 'function flush() { if (n > 2) print "  " prev "(...)  x" n; else for (i = 1; i <= n; i++) print "  " line[i] }
     { name = $0; sub(/\(.*/, "", name)
       if (name != prev) { flush(); prev = name; n = 0 }
       line[++n] = $0 }
     END { flush() }' "$work/calls"

# The calls that the frame's order is about, with the handles made
# symbolic: S1/S2 for the semaphores, in creation order. The runtime's own
# mutexes (libgcc creates them with CreateSemaphoreW) are left out.
relevant=$(awk '
    { name = $0; sub(/\(.*/, "", name) }
    name == "CreateSemaphoreA" { v = $0; sub(/.* = /, "", v); sem[v] = "S" (++ns); print name " " ("S" ns); next }
    name == "CreateSemaphoreW" { v = $0; sub(/.* = /, "", v); runtime[v] = 1; next }
    name == "WaitForSingleObject" || name == "ReleaseSemaphore" || name == "CloseHandle" {
        a = $0; sub(/^[^(]*\(/, "", a); split(a, arg, /[,)]/)
        if (arg[1] in runtime) next
        h = (arg[1] in sem) ? sem[arg[1]] : "other"; print name " " h; next }
    name == "GetModuleHandleA" && $0 ~ /^GetModuleHandleA\(00000000\)/ { print "GetModuleHandleA(null)"; next }
    name == "SetWindowsHookExA" {
        a = $0; sub(/^[^(]*\(/, "", a); split(a, arg, /[,)]/)
        print name " " (arg[4] == "00000000" ? "all-threads" : "this-thread") " " ($0 ~ / = 00000000$/ ? "refused" : "granted"); next }
    name ~ /^(GetCurrentDirectoryA|GetCommandLineA|midiOut.*|Reg.*|UnhookWindowsHookEx)$/ { print name }
    ' "$work/calls")

expected="CreateSemaphoreA S1
CreateSemaphoreA S2
WaitForSingleObject S2
ReleaseSemaphore S2
GetModuleHandleA(null)
GetCommandLineA
GetCurrentDirectoryA
SetWindowsHookExA all-threads refused
SetWindowsHookExA this-thread granted
GetCommandLineA
midiOutGetNumDevs
RegCreateKeyA
RegCloseKey
RegOpenKeyExA
RegSetValueExA
RegCloseKey
UnhookWindowsHookEx
WaitForSingleObject S2
ReleaseSemaphore S2
CloseHandle S2
CloseHandle S1"

if [ "$relevant" == "$expected" ]; then
    echo "PASS: the calls come in the order of the frame"
    exit 0
fi
echo "FAIL: the calls that matter, as seen (left) and as expected (right):"
diff <(echo "$relevant") <(echo "$expected") | sed 's/^/  /'
exit 1

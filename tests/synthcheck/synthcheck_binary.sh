#!/bin/sh
# synthcheck_binary.sh EXE CHECK_PE
# synthcheck.exe as binutils reads it: the common checks of CHECK_PE (PE32
# i386, GUI subsystem, size budget, system DLLs only, no runtime DLL), and
# DDRAW.dll, GDI32.dll and ole32.dll named in the import table with no
# function imported from them.
set -u
exe=$1 check_pe=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail=0

sh "$check_pe" "$exe" 163840 \
    "ADVAPI32.dll KERNEL32.dll msvcrt.dll USER32.dll WINMM.dll ddraw.dll GDI32.dll ole32.dll" \
    "ADVAPI32.dll KERNEL32.dll USER32.dll WINMM.dll ddraw.dll GDI32.dll ole32.dll" || fail=1

# Functions imported per DLL: the lines under each "DLL Name:" that carry a
# hint and a name.
counts=$("$objdump" -p "$exe" | tr -d '\r' | awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3); n[dll] = 0; order[++k] = dll; next }
    dll != "" && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[A-Za-z_]/ { n[dll]++ }
    /^$/ { dll = "" }
    END { for (i = 1; i <= k; i++) print order[i], n[order[i]] }')
echo "functions imported per DLL:"
echo "$counts" | sed 's/^/  /'
for dll in ddraw.dll gdi32.dll ole32.dll; do
    n=$(echo "$counts" | awk -v d="$dll" '$1 == d { print $2 }')
    if [ "$n" != "0" ]; then
        echo "FAIL: $dll must be named without an imported function (found: ${n:-not named})"
        fail=1
    fi
done
for dll in advapi32.dll user32.dll winmm.dll; do
    n=$(echo "$counts" | awk -v d="$dll" '$1 == d { print $2 }')
    [ "${n:-0}" -gt 0 ] || { echo "FAIL: nothing imported from $dll"; fail=1; }
done
[ $fail -eq 0 ] && echo "PASS: synthcheck.exe binary form"
exit $fail

#!/bin/sh
# check_pe.sh EXE MAX_BYTES "ALLOWED DLLS" "REQUIRED DLLS"
# Checks a program of this system as binutils reads it: PE32 for i386, GUI
# subsystem, at most MAX_BYTES, importing only the allowed DLLs (compared
# without regard to case) and every required one; never a runtime DLL.
set -u
exe=$1 max=$2 allowed=$3 required=$4
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail=0
report() { echo "FAIL: $*"; fail=1; }

headers=$("$objdump" -p "$exe") || { echo "FAIL: cannot read $exe"; exit 1; }
echo "$headers" | grep -q 'file format pei-i386' || report "not a PE for i386"
echo "$headers" | grep -Eq '^Magic[[:space:]]+010b' || report "not PE32 (Magic 010b)"
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000002' || report "not the Windows GUI subsystem"

size=$(stat -c %s "$exe")
echo "size: $size bytes (budget $max)"
[ "$size" -le "$max" ] || report "$size bytes is over the budget of $max"

dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr -d '\r')
echo "imports:" $dlls
lower() { echo "$1" | tr 'A-Z' 'a-z'; }
for dll in $dlls; do
    case " $(lower "$allowed") " in
    *" $(lower "$dll") "*) ;;
    *) report "imports $dll, which is not among: $allowed" ;;
    esac
    case $(lower "$dll") in
    libstdc++*|libgcc*|libwinpthread*) report "imports the runtime DLL $dll" ;;
    esac
done
for dll in $required; do
    echo " $(lower "$dlls" | tr '\n' ' ') " | grep -q " $(lower "$dll") " || report "does not import $dll"
done
[ $fail -eq 0 ] && echo "PASS: $exe"
exit $fail

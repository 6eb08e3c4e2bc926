#!/bin/sh
# check_pe.sh EXE MAX_BYTES "ALLOWED DLLS" "REQUIRED DLLS" [ALLOWLIST]
# Checks a program of this system as binutils and the Windows loader read it:
# PE32 for i386, GUI subsystem, OS and subsystem version 4.0 asked for (the
# value Windows 95 and NT 4.0 accept), at most MAX_BYTES, importing only the
# allowed DLLs (compared without regard to case) and every required one,
# never a runtime DLL, and every imported function listed in ALLOWLIST
# (default: win32-imports.txt beside this script) under its DLL.
set -u
exe=$1 max=$2 allowed=$3 required=$4
allowlist=${5:-$(dirname "$0")/win32-imports.txt}
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
fail=0
report() { echo "FAIL: $*"; fail=1; }

headers=$("$objdump" -p "$exe" | tr -d '\r') || { echo "FAIL: cannot read $exe"; exit 1; }
[ -r "$allowlist" ] || { echo "FAIL: cannot read the allowlist $allowlist"; exit 1; }
echo "$headers" | grep -q 'file format pei-i386' || report "not a PE for i386"
echo "$headers" | grep -Eq '^Magic[[:space:]]+010b' || report "not PE32 (Magic 010b)"
echo "$headers" | grep -Eq '^Subsystem[[:space:]]+00000002' || report "not the Windows GUI subsystem"
for field in MajorOSystemVersion:4 MinorOSystemVersion:0 MajorSubsystemVersion:4 \
             MinorSubsystemVersion:0; do
    name=${field%:*} want=${field#*:}
    got=$(echo "$headers" | awk -v f="$name" '$1 == f { print $2 }')
    [ "$got" = "$want" ] || report "$name is ${got:-missing}, not $want"
done

size=$(stat -c %s "$exe")
echo "size: $size bytes (budget $max)"
[ "$size" -le "$max" ] || report "$size bytes is over the budget of $max"

lower() { echo "$1" | tr 'A-Z' 'a-z'; }
dlls=$(echo "$headers" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo "imports:" $dlls
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

# Every imported function, as "dll function" (the DLL in lower case), from the
# rows of hint and name under each "DLL Name:" line; an import by ordinal
# alone has no name and is reported as such.
imported=$(echo "$headers" | awk '
    /^[[:space:]]*DLL Name:/ { dll = tolower($3); next }
    /^$/ { dll = "" }
    dll != "" && /^[[:space:]]+[0-9a-f]+[[:space:]]+[0-9]+[[:space:]]+[^[:space:]]/ {
        print dll, ($3 == "<none>" ? "#ordinal" $4 : $3)
    }')
echo "functions: $(echo "$imported" | grep -c .)"
unlisted=$(echo "$imported" | awk -v list="$allowlist" '
    BEGIN { while ((getline line < list) > 0) {
                split(line, f, /[[:space:]]+/)
                if (line !~ /^[[:space:]]*(#|$)/) known[tolower(f[1]) " " f[2]] = 1 } }
    NF == 2 && !(($1 " " $2) in known) { print $2 " from " $1 }')
if [ -n "$unlisted" ]; then
    echo "$unlisted" | while read -r line; do
        echo "FAIL: imports $line, which is not in $(basename "$allowlist")"
    done
    fail=1
fi

[ $fail -eq 0 ] && echo "PASS: $exe"
exit $fail

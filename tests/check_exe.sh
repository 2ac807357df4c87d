#!/bin/sh
# The Windows executable: imports from KERNEL32, USER32, ADVAPI32 and msvcrt only, stripped,
# and its size reported (aim: 48 KiB or less).
set -e
exe=$1
objdump=i686-w64-mingw32-objdump
test -f "$exe" || { echo "no $exe: build the windows preset first"; exit 1; }
$objdump -p "$exe" >"$exe.imports"
echo "Imported functions:"
awk -F'\t' '/DLL Name:/ {split($2, a, " "); dll=a[3]; next}
  dll && NF == 3 && $2 ~ /^[0-9a-f]+$/ {split($3, f, " "); names = names " " f[2]; next}
  /^$/ && dll {print "  " dll ":" names; dll=""; names=""}' "$exe.imports"
bad=$(grep 'DLL Name:' "$exe.imports" | awk '{print $3}' | grep -viE '^(kernel32|user32|advapi32|msvcrt)\.dll$' || true)
if [ -n "$bad" ]; then
  echo "FAIL: imports from other libraries: $bad"
  exit 1
fi
if $objdump -h "$exe" | grep -q '\.debug'; then
  echo "FAIL: not stripped"
  exit 1
fi
size=$(stat -c %s "$exe")
echo "size report: zulremove.exe is $size bytes stripped (aim: at most 49152)"

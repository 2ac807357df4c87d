#!/bin/sh
# A fresh 32-bit Wine prefix for this run of the Wine tests; no display needed.
set -e
prefix=$1
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
unset DISPLAY
wineserver -k >/dev/null 2>&1 || true
rm -rf "$prefix"
# Wine's start-up services inherit our handles: never leave them a pipe to wait on.
wineboot -i >"$prefix.log" 2>&1 </dev/null
wineserver -w
test -f "$prefix/drive_c/windows/system32/kernel32.dll"
echo "Wine prefix ready: $prefix ($(wine --version))"

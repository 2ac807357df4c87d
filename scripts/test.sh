#!/bin/sh
# Set-up, both builds (Linux over the stand-in, and the Windows executable), then every test:
# unit tests, the tool in a pseudo-terminal, a short fuzz run, the executable's imports and
# size, and the Windows build under Wine in NT and Windows 98 mode.
set -e
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset native >/dev/null
cmake --build --preset native -j 2
ctest --preset native -j 2

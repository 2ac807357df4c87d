#!/bin/sh
# The tool on a freshly infected simulated Windows 98 machine, at this terminal.
set -e
cd "$(dirname "$0")/.."
if [ ! -t 0 ] || [ ! -t 1 ]; then
  echo "demo: run me at a terminal: the tool answers to single key presses" >&2
  exit 1
fi
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native -j 2 --target zulremove zulmachine >/dev/null
machine=build/demo-machine
rm -rf "$machine"
build/native/zulmachine create "$machine" --family 98
echo "A simulated Windows 98 machine, as the worm leaves it:"
build/native/zulmachine show "$machine"
echo
echo "Now the tool. Press Y to remove the worm, then R to restart Windows."
echo "-------------------------------------------------------------------"
# Windows ends the tool as it shuts down; here a watcher plays that part.
(
  while [ ! -s "$machine/restarts" ]; do
    [ -f "$machine/.done" ] && exit 0
    sleep 0.2
  done
  sleep 1
  kill -TERM "$(cat "$machine/.pid")" 2>/dev/null || true
) &
status=0
ZUL_MACHINE="$machine" sh -c 'echo $$ > "$ZUL_MACHINE/.pid"; exec build/native/zulremove' || status=$?
touch "$machine/.done"
wait
echo "-------------------------------------------------------------------"
if [ -s "$machine/restarts" ]; then
  echo "Windows shuts down and starts again; at its start it carries out WININIT.INI:"
  build/native/zulmachine boot "$machine"
  echo
  echo "The machine after the restart:"
else
  echo "The tool ended with status $status. The machine now:"
fi
build/native/zulmachine show "$machine"

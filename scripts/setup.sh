#!/bin/sh
# Installs what building and testing need on a Debian machine (as root, or through sudo).
set -e
packages="cmake make g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev g++-mingw-w64-i686 wine wine32"
sudo=""
[ "$(id -u)" = 0 ] || sudo=sudo
missing=""
for p in $packages; do
  dpkg -s "$p" >/dev/null 2>&1 || missing="$missing $p"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  # wine32 is a 32-bit package: the 32-bit Wine runs the 32-bit tool.
  dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $missing >/dev/null
fi

#!/usr/bin/env bash
# Installs, from Debian's packages, whatever the builds and tests need and this
# machine lacks. Safe to run again: it asks apt only for what is missing.
set -euo pipefail

need=()
have() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

for pkg in cmake ninja-build g++ googletest clang libclang-rt-14-dev \
           g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
           g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
           libcli11-dev libstb-dev \
           wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps x11-utils imagemagick \
           zip unzip gnuplot-nox ccache; do
  have "$pkg" || need+=("$pkg")
done

if [ ${#need[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $SUDO dpkg --add-architecture i386
fi
echo "installing: ${need[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q "${need[@]}"

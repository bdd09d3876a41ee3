#!/bin/sh
# Installs what the build and the tests need on a Debian machine (as root).
# Quick and silent when everything is there already.
set -e
pkgs="cmake make g++ clang libclang-rt-14-dev python3 libgtest-dev libgmock-dev libbenchmark-dev
      libfreetype-dev libpng-dev fonts-dejavu-core tmux coreutils
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine64 xvfb x11-apps imagemagick xdotool"
missing=""
for p in $pkgs; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done
if [ -n "$missing" ]; then
  echo "installing:$missing"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

#!/bin/sh
# Installs what the build and the tests need on a Debian machine (as root).
# Quick and silent when everything is there already. On a fresh Debian 12 it
# says what it will install and what that takes (about 500 packages, some
# 650 MB to download and 3 GB on disk, one and a half to three minutes on 2
# cores with a fast mirror), then shows apt's progress a line per tenth.
#
# 32-bit Wine (wine32:i386, for the tests of the shipped 32-bit programs) is
# added only where the kernel runs 32-bit programs (scripts/runs32bit.sh
# starts a tiny 32-bit program to find out).
set -e
pkgs="cmake make g++ clang libclang-rt-14-dev python3 libgtest-dev libgmock-dev libbenchmark-dev
      libfreetype-dev libpng-dev fonts-dejavu-core tmux coreutils
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine64 fonts-wine xvfb x11-apps imagemagick xdotool
      nsis p7zip-full lintian dpkg-dev man-db acl
      xfsprogs btrfs-progs"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# apt-get's output, a line per tenth of the packages fetched and set up,
# with its own lines on the sizes and anything that went wrong. The debconf
# note on apt-utils (not installed on a minimal system) is dropped.
apt_progress() {
  awk '
    # "N upgraded, M newly installed, ...": both are fetched and set up.
    / upgraded, .* newly installed/ { split($0, w, " "); total = w[1] + w[3]; print "  " $0; fflush(); next }
    /^Need to get|^After this operation/ { print "  " $0; fflush(); next }
    /^Get:/ { got++; step("downloaded", got); next }
    /^Setting up / { set++; step("set up", set); next }
    /^debconf: delaying package configuration/ { next }
    /^(E|W): / { print "  " $0; fflush() }
    function step(what, n,   tenth) {
      if (total + 0 == 0) return
      tenth = int(n * 10 / total)
      if (tenth > last[what]) { last[what] = tenth; printf "  %s %d of about %d packages\n", what, n, total; fflush() }
    }'
}

# apt-get install with its progress shown; the exit status is apt-get's.
apt_install() {
  status=$(mktemp)
  { got=0
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@" 2>&1 || got=$?
    echo "$got" > "$status"; } | apt_progress
  rc=$(cat "$status")
  rm -f "$status"
  return "${rc:-1}"
}

installed() {
  dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

cd "$(dirname "$0")/.."

missing=""
for p in $pkgs; do
  installed "$p" || missing="$missing $p"
done

need_i386=""
if scripts/runs32bit.sh build; then
  installed wine32:i386 || need_i386=yes
else
  echo "setup: this kernel does not run 32-bit programs: 32-bit Wine is left out"
fi

updated=""
if [ -n "$missing" ]; then
  echo "setup: installing, with what they need:$missing"
  if [ "$(echo $missing | wc -w)" -gt 20 ]; then
    echo "setup: on a fresh Debian 12 that is about 500 packages, some 650 MB to download and"
    echo "       3 GB on disk: one and a half to three minutes on 2 cores with a fast mirror"
  fi
  echo "setup: reading the package lists (apt-get update)"
  $SUDO apt-get update -qq
  updated=yes
  apt_install $missing
  echo "setup: done"
fi

# 32-bit Wine on its own: where it cannot be had, only the wine32 tests are
# lost (they are reported as skipped), not the rest.
if [ -n "$need_i386" ]; then
  echo "setup: installing 32-bit Wine (wine32:i386 and its 32-bit libraries)"
  added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=yes
    updated=""
  fi
  if { [ -n "$updated" ] || $SUDO apt-get update -qq; } && apt_install wine32:i386; then
    :
  else
    echo "setup: wine32:i386 could not be installed; the tests of the shipped 32-bit programs will be skipped"
    [ -z "$added" ] || $SUDO dpkg --remove-architecture i386 2>/dev/null || true
  fi
fi

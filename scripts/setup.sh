#!/bin/sh
# Installs what the build and the tests need on a Debian machine (as root).
# Quick and silent when everything is there already.
#
# 32-bit Wine (wine32:i386, for the tests of the shipped 32-bit programs) is
# added only where the kernel runs 32-bit programs: a tiny 32-bit program is
# written and started to find out, since the kernel's version does not tell.
set -e
pkgs="cmake make g++ clang libclang-rt-14-dev python3 libgtest-dev libgmock-dev libbenchmark-dev
      libfreetype-dev libpng-dev fonts-dejavu-core tmux coreutils
      g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
      wine64 xvfb x11-apps imagemagick xdotool
      nsis p7zip-full lintian dpkg-dev man-db acl
      xfsprogs btrfs-progs"

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO=sudo

# Runs a 96-byte ELF32 i386 program that exits with 42 (mov ebx,42; mov eax,1;
# int 0x80). Succeeds only when the kernel started it.
runs32bit() {
  # In the checkout's build folder: /tmp may be mounted noexec.
  mkdir -p build
  probe=$(mktemp build/probe32.XXXXXX)
  printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\273\052\000\000\000\270\001\000\000\000\315\200' > "$probe"
  chmod +x "$probe"
  rc=0
  "$probe" 2>/dev/null || rc=$?
  rm -f "$probe"
  [ "$rc" -eq 42 ]
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
if runs32bit; then
  installed wine32:i386 || need_i386=yes
else
  echo "setup: this kernel does not run 32-bit programs; the wine32 tests will be skipped"
fi

updated=""
if [ -n "$missing" ]; then
  echo "installing:$missing"
  $SUDO apt-get update -qq
  updated=yes
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# 32-bit Wine on its own: where it cannot be had, only the wine32 tests are
# lost (they are reported as skipped), not the rest.
if [ -n "$need_i386" ]; then
  echo "installing: wine32:i386"
  added=""
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
    added=yes
    updated=""
  fi
  if { [ -n "$updated" ] || $SUDO apt-get update -qq; } &&
     DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
    :
  else
    echo "setup: wine32:i386 could not be installed; the wine32 tests will be skipped"
    [ -z "$added" ] || $SUDO dpkg --remove-architecture i386 2>/dev/null || true
  fi
fi

#!/bin/sh
# Makes the release: builds the programs it needs (the presets native and
# win32, and win64 for the test installer), then writes
#
#   dist/korvanel-ostrel-VERSION-setup.exe   Windows installer of the shipped 32-bit programs
#   dist/korvanel-ostrel-VERSION-win32.zip   the three 32-bit programs and "Tavisk Sleeper.ini"
#   dist/korvanel-ostrel_VERSION_amd64.deb   the Linux Korwipe and cfgsetup
#   dist/SHA256SUMS                          the checksums of the release files in dist/
#
# and, for the tests under Wine only (not shipped), the 64-bit installer of the
# win64 build, build/package/korvanel-ostrel-VERSION-win64-setup.exe.
# VERSION is the CMake project version (the top CMakeLists.txt).
#
# The same commit makes the same bytes, wherever and whenever it is built:
# every time stamp in the files is SOURCE_DATE_EPOCH, the last commit's time
# unless the caller sets it. A checkout with uncommitted or untracked files
# gets a warning: the release holds them, so the commit alone does not make it.
#
# usage: scripts/package.sh [--no-build] [--build DIR] [--out DIR] [ARTEFACT...]
#   ARTEFACT    setup32, zip, deb, setup64 (default: all four)
#   --no-build  package the builds as they are (the package tests do this)
#   --build DIR the folder holding native/, win32/ and win64/ (default build)
#   --out DIR   write every artefact into DIR (default: dist, build/package for setup64)
set -e
cd "$(dirname "$0")/.."
root=$(pwd)

build_first=yes
builds=$root/build
out=""
what=""
while [ $# -gt 0 ]; do
  case "$1" in
    --no-build) build_first="" ;;
    --build) builds=$(cd "$2" && pwd); shift ;;
    --out) mkdir -p "$2"; out=$(cd "$2" && pwd); shift ;;
    setup32|setup64|zip|deb) what="$what $1" ;;
    *) echo "package: unknown argument $1 (see the head of $0)" >&2; exit 2 ;;
  esac
  shift
done
[ -n "$what" ] || what="setup32 zip deb setup64"

fail() {
  echo "package: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(Korvanel VERSION \([0-9][0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || fail "no project version in CMakeLists.txt"
name=korvanel-ostrel

# The programs each preset ships; each artefact takes them from one preset.
windows_programs="Korwipe presentation cfgsetup"
native_programs="Korwipe cfgsetup"

# One time stamp for everything packaged, taken before anything is built:
# the last commit's, so that every build of one commit makes the same files.
# What the checkout holds beyond the commit is noted now and reported last,
# where it is seen.
unclean=""
if [ -z "$SOURCE_DATE_EPOCH" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) || SOURCE_DATE_EPOCH=""
  if [ -z "$SOURCE_DATE_EPOCH" ]; then
    SOURCE_DATE_EPOCH=$(date +%s)
    unclean="git gives no commit time (not a git checkout?): the files carry the time of this run (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH); set SOURCE_DATE_EPOCH to make them again"
  fi
fi
export SOURCE_DATE_EPOCH
if changes=$(git status --porcelain --untracked-files=all 2>/dev/null) && [ -n "$changes" ]; then
  unclean="the checkout is not commit $(git rev-parse --short HEAD): $(printf '%s\n' "$changes" | wc -l) paths are uncommitted or untracked (below, git status). The release is made from the files as they are, so that commit alone does not make it again:
$(printf '%s\n' "$changes" | head -n 20)"
fi

if [ -n "$build_first" ]; then
  jobs=$(nproc 2>/dev/null || echo 2)
  buildPreset() {  # buildPreset PRESET TARGET...: configures and builds those targets only
    preset=$1
    shift
    echo "== build $preset: $*"
    cmake --preset "$preset" -B "$builds/$preset" >/dev/null
    cmake --build "$builds/$preset" -j "$jobs" --target "$@"
  }
  case " $what " in *" setup32 "*|*" zip "*) buildPreset win32 $windows_programs ;; esac
  case " $what " in *" deb "*) buildPreset native $native_programs ;; esac
  case " $what " in *" setup64 "*) buildPreset win64 $windows_programs ;; esac
fi

# A build made before the version changed would ship the old number inside
# the programs: every build used must carry the source's version.
checkBuild() {  # checkBuild PRESET
  cache=$builds/$1/CMakeCache.txt
  [ -f "$cache" ] || fail "$builds/$1 is not built (run scripts/build.sh)"
  built=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$cache")
  [ "$built" = "$version" ] || fail "$builds/$1 is version $built, the source says $version: rebuild"
}

need() {  # need FILE...: every program to package must exist
  for f in "$@"; do
    [ -f "$f" ] || fail "$f is missing (run scripts/build.sh)"
  done
}

work=$(mktemp -d "${TMPDIR:-/tmp}/korvanel-package-XXXXXX")
trap 'rm -rf "$work"' EXIT

installer() {  # installer ARCH PRESET FILE
  checkBuild "$2"
  need "$builds/$2/wipe/Korwipe.exe" "$builds/$2/presentation/presentation.exe" \
       "$builds/$2/setup/cfgsetup.exe" "$builds/$2/setup/Tavisk Sleeper.ini"
  makensis -V2 -DVERSION="$version" -DARCH="$1" -DPROGRAMS="$builds/$2" -DOUTFILE="$3" \
    "$root/package/windows/ostrel.nsi"
  echo "package: $3"
}

zipFile() {  # zipFile FILE
  checkBuild win32
  folder=$work/zip/$name-$version-win32
  mkdir -p "$folder"
  need "$builds/win32/wipe/Korwipe.exe" "$builds/win32/presentation/presentation.exe" \
       "$builds/win32/setup/cfgsetup.exe" "$builds/win32/setup/Tavisk Sleeper.ini"
  cp "$builds/win32/wipe/Korwipe.exe" "$builds/win32/presentation/presentation.exe" \
     "$builds/win32/setup/cfgsetup.exe" "$builds/win32/setup/Tavisk Sleeper.ini" "$folder/"
  rm -f "$1"
  python3 - "$1" "$folder" <<'EOF'
import os, stat, sys, time, zipfile
zip_path, folder = sys.argv[1:3]
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]
with zipfile.ZipFile(zip_path, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
    for name in sorted(os.listdir(folder)):
        entry = zipfile.ZipInfo(os.path.basename(folder) + "/" + name, stamp)
        entry.compress_type = zipfile.ZIP_DEFLATED
        # A regular file, rw-r--r--: unzip on a POSIX system makes it so.
        entry.external_attr = (stat.S_IFREG | 0o644) << 16
        with open(os.path.join(folder, name), "rb") as f:
            z.writestr(entry, f.read())
EOF
  echo "package: $1"
}

deb() {  # deb FILE
  checkBuild native
  need "$builds/native/wipe/Korwipe" "$builds/native/setup/cfgsetup" "$builds/native/setup/Tavisk Sleeper.ini"
  stage=$work/deb
  libexec=$stage/usr/libexec/$name
  doc=$stage/usr/share/doc/$name
  mkdir -p "$stage/DEBIAN" "$stage/usr/bin" "$libexec" "$doc" "$stage/usr/share/man/man1"
  # cfgsetup takes "Tavisk Sleeper.ini" from its own folder: both live in a
  # private folder of the package, out of the users' PATH, run by postinst.
  install -m 0755 "$builds/native/wipe/Korwipe" "$stage/usr/bin/Korwipe"
  install -m 0755 "$builds/native/setup/cfgsetup" "$libexec/cfgsetup"
  install -m 0644 "$builds/native/setup/Tavisk Sleeper.ini" "$libexec/Tavisk Sleeper.ini"
  strip --strip-unneeded --remove-section=.comment --remove-section=.note \
    "$stage/usr/bin/Korwipe" "$libexec/cfgsetup"

  day=$(date -u -d "@$SOURCE_DATE_EPOCH" +%Y-%m-%d)
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$day/g" package/man/Korwipe.1 |
    gzip -9n > "$stage/usr/share/man/man1/Korwipe.1.gz"
  install -m 0644 package/debian/copyright "$doc/copyright"
  sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$(date -u -R -d "@$SOURCE_DATE_EPOCH")/g" \
    package/debian/changelog.in | gzip -9n > "$doc/changelog.gz"
  chmod 0644 "$stage/usr/share/man/man1/Korwipe.1.gz" "$doc/changelog.gz"

  # The libraries the two programs need, as dpkg-shlibdeps names them (it
  # wants a source package around it, so it gets a minimal one).
  mkdir -p "$work/src/debian"
  printf 'Source: %s\n\nPackage: %s\nArchitecture: amd64\n' "$name" "$name" > "$work/src/debian/control"
  depends=$(cd "$work/src" && dpkg-shlibdeps -O "$stage/usr/bin/Korwipe" "$libexec/cfgsetup" 2>/dev/null |
            sed -n 's/^shlibs:Depends=//p')
  [ -n "$depends" ] || fail "dpkg-shlibdeps found no dependencies"
  # Installed-Size in KiB as dpkg-gencontrol counts it: each file rounded up,
  # 1 for each folder. du would count the folders' own sizes, which depend on
  # the file system the staging folder lies on.
  size=$(find "$stage/usr" -printf '%y %s\n' |
         awk '$1 == "f" { kib += int(($2 + 1023) / 1024); next } { kib += 1 } END { print kib }')
  sed -e "s/@VERSION@/$version/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    package/debian/control.in > "$stage/DEBIAN/control"
  install -m 0755 package/debian/postinst package/debian/postrm "$stage/DEBIAN/"
  (cd "$stage" && find usr -type f | LC_ALL=C sort | xargs -d '\n' md5sum) > "$stage/DEBIAN/md5sums"
  chmod 0644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
  find "$stage" -type d -exec chmod 0755 {} +
  find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
  dpkg-deb --root-owner-group -Zxz --build "$stage" "$1" >/dev/null
  echo "package: $1"
}

release=${out:-$root/dist}
released=""
for artefact in $what; do
  if [ -n "$out" ]; then
    dir=$out
  elif [ "$artefact" = setup64 ]; then
    dir=$builds/package
  else
    dir=$root/dist
  fi
  [ "$artefact" = setup64 ] || released=yes
  mkdir -p "$dir"
  case "$artefact" in
    setup32) installer 32 win32 "$dir/$name-$version-setup.exe" ;;
    setup64) installer 64 win64 "$dir/$name-$version-win64-setup.exe" ;;
    zip) zipFile "$dir/$name-$version-win32.zip" ;;
    deb) deb "$dir/${name}_${version}_amd64.deb" ;;
  esac
done

# The checksums of the release files beside them (sha256sum -c SHA256SUMS).
if [ -n "$released" ]; then
  (
    cd "$release"
    set --
    for f in "$name-$version-setup.exe" "$name-$version-win32.zip" "${name}_${version}_amd64.deb"; do
      [ ! -f "$f" ] || set -- "$@" "$f"
    done
    sha256sum -- "$@" > SHA256SUMS.new
    mv SHA256SUMS.new SHA256SUMS
  )
  echo "package: $release/SHA256SUMS"
fi

if [ -n "$unclean" ]; then
  echo "package: warning: $unclean" >&2
fi

#!/bin/sh
# Erasing trees of many small files, three ways side by side on the same file
# system, each on a freshly made tree (identical every time, synced before the
# clock starts):
#   Korwipe      the native test build with the automatic pass count
#                (KORWIPE_TEST_CONFIG unset): the pattern form 'd/*' on the
#                flat tree, the directory form -d d on the mixed one
#   floor        bench_wipe_floor: the same passes per file, but one flush of
#                the whole file system per pass instead of one per file
#   shred        shred -u -n 3 on every file (then rmdir of the folders)
# Trees: "flat", 2000 files of 4 KiB in one folder (3 passes each for all
# three), and "mixed", the files git tracks in this checkout (as the index
# holds them, with their folders) five times over under one folder.
# The tools run in a rotated order each round. Every run must leave no file:
# one that does stops the script with an error. Prints every round, then the
# medians and the ratios Korwipe/floor and Korwipe/shred per tree and file
# system. Flushes cost what the disk gives at the moment: run it on an
# otherwise idle machine, and compare medians of runs made alike.
#
# The directory form asks on /dev/tty: a small pty driver (Python) starts
# Korwipe on a terminal of its own, waits for "[y/n]" and for the terminal to
# be put in raw mode, and types y. Its time includes starting Python and the
# pty, Korwipe up to the question and the answer; that cost is measured each
# round by the same driver on a tree holding one file of 1 byte, printed as
# "answer", and subtracted from Korwipe's time for the medians and ratios
# (the raw time is printed beside; the subtraction also takes off the erase of
# that one byte, a few milliseconds at most).
#
# usage: bench/wipe/manyfiles.sh [--loop] [--before EXE] [build-dir] [scratch-dir] [rounds]
#   --loop       also on a 1 GiB ext4 image and a 1 GiB xfs image mounted on
#                loop devices (root, mkfs.ext4, mkfs.xfs, losetup); the images
#                are sparse files in scratch-dir
#   --before EXE an earlier Korwipe_testcfg, timed the same way beside the
#                others (printed as "before"), to hold a change against it
#   build-dir    native build holding wipe/Korwipe_testcfg and
#                bench/wipe/bench_wipe_floor (default build/native)
#   scratch-dir  where the trees go (default /tmp)
#   rounds       default 3
set -eu

loop=0
before=""
while :; do
  case ${1:-} in
    --loop) loop=1; shift ;;
    --before) before=$(cd "$(dirname "$2")" && pwd)/$(basename "$2"); shift 2 ;;
    *) break ;;
  esac
done
build=${1:-build/native}
scratch=${2:-/tmp}
rounds=${3:-3}
repo=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$build" && pwd)
korwipe=$build/wipe/Korwipe_testcfg
floor=$build/bench/wipe/bench_wipe_floor
for f in "$korwipe" "$floor"; do
  [ -x "$f" ] || { echo "no $f: build Korwipe_testcfg and bench_wipe_floor there first" >&2; exit 1; }
done
python=/usr/bin/python3
[ -x "$python" ] || python=$(command -v python3) || { echo "missing python3" >&2; exit 1; }
for tool in shred git tar findmnt; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done
if [ "$loop" = 1 ]; then
  [ "$(id -u)" = 0 ] || { echo "--loop needs root" >&2; exit 1; }
  for tool in mkfs.ext4 mkfs.xfs losetup mount umount; do
    command -v "$tool" >/dev/null || { echo "--loop: missing $tool" >&2; exit 1; }
  done
fi

echo "Korwipe_testcfg: $korwipe, built $(date -r "$korwipe" '+%F %T'); checkout at $(git -C "$repo" rev-parse --short HEAD)"
work=$(mktemp -d "$scratch/korwipe-many.XXXXXX")
mounts=""
devices=""
cleanup() {
  for m in $mounts; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  for d in $devices; do losetup -d "$d" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Types y once the question is up and the terminal is raw; exits as Korwipe did.
answer='
import os, pty, sys, termios, time
pid, fd = pty.fork()
if pid == 0:
    os.execv(sys.argv[1], sys.argv[1:])
seen, answered = b"", False
while True:
    try:
        chunk = os.read(fd, 65536)
    except OSError:  # EIO: the terminal has no other end any more
        break
    if not chunk:
        break
    if not answered:
        seen += chunk
        if b"[y/n]" in seen:
            deadline = time.monotonic() + 5
            while termios.tcgetattr(fd)[3] & termios.ICANON and time.monotonic() < deadline:
                time.sleep(0.0002)
            os.write(fd, b"y")
            answered = True
sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))
'

# The two trees, made once as archives so that every round extracts the same.
mkdir "$work/mk" "$work/res"
mkdir -p "$work/mk/flat/d"
i=1
while [ $i -le 2000 ]; do
  head -c 4096 /dev/urandom >"$work/mk/flat/d/f$i"
  i=$((i + 1))
done
tar -cf "$work/flat.tar" -C "$work/mk/flat" d
for i in 1 2 3 4 5; do
  git -C "$repo" checkout-index -a --prefix="$work/mk/mixed/d/$i/"
done
tar -cf "$work/mixed.tar" -C "$work/mk/mixed" d
mkdir -p "$work/mk/tiny/d"
printf x >"$work/mk/tiny/d/t"
tar -cf "$work/tiny.tar" -C "$work/mk/tiny" d
for t in flat mixed; do
  find "$work/mk/$t/d" -type f -printf '%s\n' | awk -v t=$t '
    { n++; b += $1; if ($1 < 1024) p5++; else if ($1 < 5120) p3++; else p1++ }
    END { printf "tree %s: %d files, %d bytes; automatic passes: %d x5, %d x3, %d x1\n", t, n, b, p5, p3, p1 }'
done
printf 'tree mixed: %d folders\n' "$(find "$work/mk/mixed/d" -type d | wc -l)"
rm -rf "$work/mk"

now() { date +%s%N; }
secs() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", (b - a) / 1e9 }'; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# fresh DIR TREE: the tree as d in DIR, on the disk.
fresh() {
  rm -rf "$1/d"
  tar -xf "$work/$2.tar" -C "$1"
  sync
}

# gone DIR TREE WHO: no file of the tree may remain, nor a renamed one in DIR.
# The pattern form and shred on the flat tree leave the empty folder d.
gone() {
  if [ -d "$1/d" ] && [ "$2" = flat ]; then rmdir "$1/d" 2>/dev/null || true; fi
  left=$(ls -A "$1")
  [ -z "$left" ] || { echo "$3 left files on the $2 tree in $1: $(echo "$left" | tr '\n' ' ' | head -c 200)" >&2; exit 1; }
}

# erase DIR TREE TOOL: one timed run in DIR; prints seconds.
erase() {
  fresh "$1" "$2"
  cd "$1"
  t0=$(now)
  case $3.$2 in
    korwipe.flat) env -u KORWIPE_TEST_CONFIG "$korwipe" 'd/*' >/dev/null ;;
    korwipe.*) env -u KORWIPE_TEST_CONFIG "$python" -c "$answer" "$korwipe" -d d >/dev/null ;;
    before.flat) env -u KORWIPE_TEST_CONFIG "$before" 'd/*' >/dev/null ;;
    before.*) env -u KORWIPE_TEST_CONFIG "$python" -c "$answer" "$before" -d d >/dev/null ;;
    floor.*) "$floor" d >/dev/null ;;
    shred.flat) shred -u -n 3 d/* ;;
    shred.*) find d -type f -exec shred -u -n 3 {} + && find d -depth -type d -exec rmdir {} + ;;
  esac || { echo "$3 failed on the $2 tree in $1" >&2; exit 1; }
  t1=$(now)
  cd "$work"
  gone "$1" "$2" "$3"
  secs "$t0" "$t1"
}

# bench LABEL DIR: every round of both trees in DIR.
bench() {
  label=$1 dir=$2
  echo "== $label: $(findmnt -n -o SOURCE,FSTYPE,OPTIONS -T "$dir")"
  r=1
  while [ "$r" -le "$rounds" ]; do
    a=$(erase "$dir" tiny korwipe)
    echo "$a" >>"$work/res/$label.answer"
    for tree in flat mixed; do
      case $((r % 3)) in
        1) order="korwipe floor shred" ;;
        2) order="floor shred korwipe" ;;
        0) order="shred korwipe floor" ;;
      esac
      [ -z "$before" ] || order="$order before"
      for tool in $order; do
        t=$(erase "$dir" "$tree" "$tool")
        case $tool in korwipe) t_korwipe=$t ;; floor) t_floor=$t ;; shred) t_shred=$t ;; before) t_before=$t ;; esac
      done
      k=$t_korwipe
      extra=""
      if [ $tree = mixed ]; then
        k=$(awk -v k="$t_korwipe" -v a="$a" 'BEGIN { printf "%.3f", k - a }')
        extra=" (raw ${t_korwipe}s, answer ${a}s)"
      fi
      echo "$k" >>"$work/res/$label.$tree.korwipe"
      echo "$t_floor" >>"$work/res/$label.$tree.floor"
      echo "$t_shred" >>"$work/res/$label.$tree.shred"
      if [ -n "$before" ]; then
        b=$t_before
        [ $tree = flat ] || b=$(awk -v k="$t_before" -v a="$a" 'BEGIN { printf "%.3f", k - a }')
        echo "$b" >>"$work/res/$label.$tree.before"
        extra="$extra  before ${b}s"
      fi
      echo "$label $tree round $r: Korwipe ${k}s$extra  floor ${t_floor}s  shred ${t_shred}s  [order: $order]"
    done
    r=$((r + 1))
  done
}

mkdir "$work/scratch"
bench scratch "$work/scratch"
labels=scratch
if [ "$loop" = 1 ]; then
  for fs in ext4 xfs; do
    truncate -s 1G "$work/$fs.img"
    if [ $fs = ext4 ]; then mkfs.ext4 -q -F "$work/$fs.img"; else mkfs.xfs -q -f "$work/$fs.img"; fi
    dev=$(losetup --find --show "$work/$fs.img")
    devices="$devices $dev"
    mkdir "$work/mnt-$fs"
    mount "$dev" "$work/mnt-$fs"
    mounts="$work/mnt-$fs $mounts"
    mkdir "$work/mnt-$fs/w"
    bench "loop-$fs" "$work/mnt-$fs/w"
    labels="$labels loop-$fs"
  done
fi

echo "== medians of $rounds rounds (seconds; Korwipe on the mixed tree less the answer)"
for label in $labels; do
  for tree in flat mixed; do
    k=$(median <"$work/res/$label.$tree.korwipe")
    f=$(median <"$work/res/$label.$tree.floor")
    s=$(median <"$work/res/$label.$tree.shred")
    extra=""
    [ $tree = flat ] || extra=" (answer $(median <"$work/res/$label.answer"))"
    [ -z "$before" ] || extra="$extra  before $(median <"$work/res/$label.$tree.before")"
    awk -v l="$label" -v t="$tree" -v k="$k" -v f="$f" -v s="$s" -v x="$extra" 'BEGIN {
      printf "%-10s %-6s Korwipe %7.3f%s  floor %7.3f  shred %7.3f  Korwipe/floor %6.2f  Korwipe/shred %5.2f\n",
        l, t, k, x, f, s, (f > 0 ? k / f : 0), (s > 0 ? k / s : 0)
    }'
  done
done

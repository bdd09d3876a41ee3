#!/bin/sh
# One overwrite pass of a 1 GiB file, three ways, on the same file system:
#   Korwipe with the setting 1 (the native test build, which reads its
#   setting from KORWIPE_TEST_CONFIG instead of the machine's file),
#   shred -n 1, and dd writing zeros with conv=fsync (what the disk costs).
# Each round recreates the file the same way (written with zeros and synced:
# space that is only reserved reads as a hole, which Korwipe leaves alone)
# before every tool. Prints every round, then the medians and the ratios, and the
# peak memory of Korwipe. Korwipe's time includes moving and deleting the
# file; the time rm takes for the file dd wrote is printed beside it, since
# on some file systems (online discard) a delete of 1 GiB is not free.
#
# usage: bench/wipe/disk.sh [build-dir] [scratch-dir] [rounds] [MiB]
#   build-dir    native build holding wipe/Korwipe_testcfg (default build/native)
#   scratch-dir  where the file goes (default /tmp); needs twice its size free
#   rounds       default 3
#   MiB          file size, a multiple of 16 (default 1024; smaller only to
#                try the script out)
set -eu

build=${1:-build/native}
scratch=${2:-/tmp}
rounds=${3:-3}
mib=${4:-1024}
korwipe=$(cd "$build" && pwd)/wipe/Korwipe_testcfg
[ -x "$korwipe" ] || { echo "no $korwipe: build the native preset first" >&2; exit 1; }
for tool in shred dd /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

dir=$(mktemp -d "$scratch/korwipe-disk.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
printf '\001' >"$dir/config.cfg"
file="$dir/big.bin"
size=$((mib * 1048576))

fresh() {
  rm -f "$file"
  dd if=/dev/zero of="$file" bs=16M count=$((mib / 16)) conv=fsync status=none
  sync
}

# Runs "$@" in $dir under /usr/bin/time; prints "seconds peak-KiB".
timed() {
  (cd "$dir" && /usr/bin/time -f '%e %M' -o "$dir/time.txt" "$@" >/dev/null)
  cat "$dir/time.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$dir/k.txt"; : >"$dir/s.txt"; : >"$dir/z.txt"; : >"$dir/d.txt"; : >"$dir/m.txt"
r=1
while [ "$r" -le "$rounds" ]; do
  fresh
  set -- $(KORWIPE_TEST_CONFIG="$dir/config.cfg" timed "$korwipe" "$file")
  [ ! -e "$file" ] || { echo "Korwipe left the file" >&2; exit 1; }
  echo "$1" >>"$dir/k.txt"; echo "$2" >>"$dir/m.txt"; k=$1; m=$2
  fresh
  set -- $(timed shred -n 1 "$file")
  echo "$1" >>"$dir/s.txt"; s=$1
  fresh
  set -- $(timed dd if=/dev/zero of="$file" bs=16M count=$((mib / 16)) conv=fsync,notrunc status=none)
  echo "$1" >>"$dir/z.txt"; z=$1
  # Korwipe also deletes the file, which dd does not: shown, not compared.
  set -- $(timed rm "$file")
  echo "$1" >>"$dir/d.txt"; d=$1
  echo "round $r: Korwipe ${k}s (peak ${m} KiB)  shred -n 1 ${s}s  dd zeros ${z}s  (rm after dd ${d}s)"
  r=$((r + 1))
done
rm -f "$file"

k=$(median <"$dir/k.txt"); s=$(median <"$dir/s.txt"); z=$(median <"$dir/z.txt"); d=$(median <"$dir/d.txt")
m=$(sort -n "$dir/m.txt" | tail -1)
echo "median of $rounds: Korwipe ${k}s  shred ${s}s  zeros ${z}s  (deleting the file ${d}s)"
awk -v k="$k" -v s="$s" -v z="$z" 'BEGIN {
  printf "Korwipe / zeros = %.2f (target <= 1.20)\n", k / z
  printf "Korwipe / shred = %.2f (target <= 0.70)\n", k / s
}'
echo "Korwipe peak memory: $m KiB ($((m / 1024)) MiB; target < 40 MiB)"

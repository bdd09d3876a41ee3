#!/bin/sh
# A sparse file against a dense one, erased by Korwipe with the setting 1
# (the native test build, which reads its setting from KORWIPE_TEST_CONFIG):
#   sparse  50 GiB of apparent size holding 64 MiB of data, 64 runs of 1 MiB
#           800 MiB apart (the first at 0, one across a 16 MiB boundary);
#   dense   64 MiB, all data;
# and shred -n 1 of the same sparse file, which writes every hole: 50 GiB,
# so it runs once, last, only with 60 GiB free (else it is left out).
# Every file is written and synced afresh before each timed run. Korwipe's
# time includes deleting the file, which for 50 GiB of extents is not free
# (on a file system with online discard it can cost more than the erase):
# each round also times rm of the same two files, made the same way, and the
# ratio is given with and without it. Prints every round, the medians and
# the ratios sparse / dense (goal: at most 1.3).
#
# usage: bench/wipe/sparse.sh [build-dir] [scratch-dir] [rounds] [shred|no-shred]
set -eu

build=${1:-build/native}
scratch=${2:-/tmp}
rounds=${3:-3}
withShred=${4:-shred}
korwipe=$(cd "$build" && pwd)/wipe/Korwipe_testcfg
[ -x "$korwipe" ] || { echo "no $korwipe: build the native preset first" >&2; exit 1; }
for tool in shred dd truncate /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "missing $tool" >&2; exit 1; }
done

dir=$(mktemp -d "$scratch/korwipe-sparse.XXXXXX")
trap 'rm -rf "$dir"' EXIT INT TERM
printf '\001' >"$dir/config.cfg"
file="$dir/f.bin"

sparse() {
  rm -f "$file"
  truncate -s 50G "$file"
  i=0
  while [ $i -lt 64 ]; do
    # Run 1 starts 512 KiB before the 800 MiB mark: across a segment boundary.
    at=$((i * 800 * 2 - (i == 1 ? 1 : 0)))  # in units of 512 KiB
    dd if=/dev/urandom of="$file" bs=512K count=2 seek=$at conv=notrunc status=none
    i=$((i + 1))
  done
  sync
}

dense() {
  rm -f "$file"
  dd if=/dev/urandom of="$file" bs=1M count=64 status=none
  sync
}

timed() {
  (cd "$dir" && /usr/bin/time -f '%e' -o "$dir/time.txt" "$@" >/dev/null)
  cat "$dir/time.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: >"$dir/s.txt"; : >"$dir/d.txt"; : >"$dir/rs.txt"; : >"$dir/rd.txt"; : >"$dir/es.txt"; : >"$dir/ed.txt"
r=1
while [ "$r" -le "$rounds" ]; do
  sparse
  s=$(KORWIPE_TEST_CONFIG="$dir/config.cfg" timed "$korwipe" "$file")
  [ ! -e "$file" ] || { echo "Korwipe left the sparse file" >&2; exit 1; }
  sparse
  rs=$(timed rm "$file")
  dense
  d=$(KORWIPE_TEST_CONFIG="$dir/config.cfg" timed "$korwipe" "$file")
  [ ! -e "$file" ] || { echo "Korwipe left the dense file" >&2; exit 1; }
  dense
  rd=$(timed rm "$file")
  echo "$s" >>"$dir/s.txt"; echo "$d" >>"$dir/d.txt"; echo "$rs" >>"$dir/rs.txt"; echo "$rd" >>"$dir/rd.txt"
  awk -v a="$s" -v b="$rs" 'BEGIN { print a - b }' >>"$dir/es.txt"
  awk -v a="$d" -v b="$rd" 'BEGIN { print a - b }' >>"$dir/ed.txt"
  echo "round $r: Korwipe sparse ${s}s (rm alone ${rs}s)  dense ${d}s (rm alone ${rd}s)"
  r=$((r + 1))
done
s=$(median <"$dir/s.txt"); d=$(median <"$dir/d.txt"); rs=$(median <"$dir/rs.txt"); rd=$(median <"$dir/rd.txt")
es=$(median <"$dir/es.txt"); ed=$(median <"$dir/ed.txt")
echo "median of $rounds: Korwipe sparse ${s}s  dense ${d}s; rm alone: sparse ${rs}s  dense ${rd}s"
echo "median of Korwipe less rm: sparse ${es}s  dense ${ed}s"
awk -v s="$s" -v d="$d" -v es="$es" -v ed="$ed" 'BEGIN {
  printf "sparse / dense = %.2f with the delete, %.2f without (goal <= 1.30)\n", s / d, es / ed
}'

if [ "$withShred" = shred ]; then
  free=$(df -Pk "$dir" | awk 'NR == 2 { print $4 }')
  if [ "$free" -lt $((60 * 1024 * 1024)) ]; then
    echo "shred -n 1 of the sparse file: left out (needs 60 GiB free, $((free / 1048576)) GiB here)"
  else
    sparse
    t=$(timed shred -n 1 "$file")
    rm -f "$file"
    echo "shred -n 1 of the sparse file: ${t}s ($(awk -v t="$t" -v s="$s" 'BEGIN { printf "%.0f", t / s }') times Korwipe)"
  fi
fi

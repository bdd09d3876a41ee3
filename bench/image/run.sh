#!/bin/sh
# Builds bench_image (native preset, Release) and runs it, then prints the
# ratios each benchmark measured beside its reference, with the limit each is
# held to:
#   resample   x_oracle  times faster than the literal oracle (at least 10)
#              x_memset  times one memset of the output buffer
#   frameStep  x_memcpy  times one memcpy of the frame (at most 4)
#   decode     x_memcpy  times one memcpy of the decoded pixels
#
# usage: bench/image/run.sh [build-dir] [benchmark options...]
#   build-dir  default build/native-release (a Release build of the native
#              preset; the preset's own build/native is RelWithDebInfo)
set -eu

src=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$src/build/native-release}
[ $# -gt 0 ] && shift
cd "$src"
cmake --preset native -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j2 --target bench_image >/dev/null

log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$build/bench/image/bench_image" "$@" | tee "$log"

echo
echo "Ratios:"
awk '
  /^(resample|frameStep|decode)/ {
    line = sprintf("  %-52s", $1)
    for (i = 2; i <= NF; ++i)
      if ($i ~ /^(x_|mbm_bytes)/) line = line "  " $i
    for (i = 2; i <= NF; ++i) {
      if ($1 ~ /^resampleOracle/ && $i ~ /^x_oracle=/) {
        split($i, v, "="); line = line ((v[2] + 0 >= 10) ? "  (limit >= 10: ok)" : "  (limit >= 10: FAILED)")
      }
      if ($1 ~ /^frameStep/ && $i ~ /^x_memcpy=/) {
        split($i, v, "="); line = line ((v[2] + 0 <= 4) ? "  (limit <= 4: ok)" : "  (limit <= 4: FAILED)")
      }
    }
    print line
  }' "$log"

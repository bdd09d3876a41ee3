#!/bin/sh
# Configures and builds the three presets: native, win32, win64.
set -e
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)
for preset in native win32 win64; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done
# One ctest tree over the three builds, so that one run shows one summary.
cat > build/CTestTestfile.cmake <<'EOT'
subdirs("native")
subdirs("win32")
subdirs("win64")
EOT

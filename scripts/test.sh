#!/bin/sh
# The test command: sets up the machine, builds all three presets and runs every
# test (labels unit, posix, wine, wine32, gui, artefacts, package,
# reproducible, fuzz, forensic; see tests/README.md). Arguments go to ctest (e.g. -L gui).
#
# After ctest's own summary, one line counts passed, failed and skipped tests
# with the reasons for the skips (ctest's percentage counts a skipped test as
# passed). The exit status is ctest's: non-zero when any test failed.
set -e
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
jobs=$(nproc 2>/dev/null || echo 2)
junit=$(pwd)/build/Testing/results.xml
rm -f "$junit"
rc=0
ctest --test-dir build --output-on-failure -j "$jobs" --output-junit "$junit" "$@" || rc=$?
python3 scripts/test_summary.py "$junit" || true
exit $rc

#!/bin/sh
# The test command: sets up the machine, builds all three presets and runs every
# test (labels unit, posix, wine, gui, artefacts, package). Fails when anything fails.
set -e
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
jobs=$(nproc 2>/dev/null || echo 2)
exec ctest --test-dir build --output-on-failure -j "$jobs" "$@"

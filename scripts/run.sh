#!/bin/sh
# The run command: sets up the machine, builds everything, then plays the
# presentation and shows Korwipe erasing a scratch folder.
set -e
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
for demo in scripts/demo-presentation.sh scripts/demo-wipe.sh; do
  if [ -x "$demo" ]; then
    "$demo"
  fi
done

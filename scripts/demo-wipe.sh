#!/bin/sh
# Shows Korwipe at work on a scratch folder: the Linux build erasing a single
# file, a pattern and a directory tree (the question answered through a
# terminal), then the 64-bit Windows build under Wine erasing a pattern.
# Builds nothing: scripts/run.sh has built everything before.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
build=${KOR_BUILD_DIR:-$root/build}
korwipe=$build/native/wipe/Korwipe
korwipe_exe=$build/win64/wipe/Korwipe.exe

if [ ! -x "$korwipe" ]; then
  echo "demo-wipe: $korwipe is missing; run scripts/run.sh (it builds first)" >&2
  exit 1
fi

scratch=$(mktemp -d /tmp/korwipe-demo-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

show() {  # show TITLE: prints a heading and the scratch folder's files
  echo
  echo "== $1"
  find . -mindepth 1 | sort | sed 's/^/   /'
}

run() {  # run ARGS...: runs Korwipe as a user would and shows its exit code
  echo "\$ Korwipe $*"
  set +e
  "$korwipe" "$@"
  rc=$?
  set -e
  echo "(exit code $rc)"
}

head -c 3000 /dev/urandom > report.doc
mkdir -p logs projects/old/src/lib
for n in 1 2 3; do head -c 2000 /dev/urandom > logs/day$n.log; done
echo "notes" > logs/keep.txt
head -c 6000 /dev/urandom > projects/old/plan.txt
head -c 500 /dev/urandom > projects/old/src/main.c
head -c 500 /dev/urandom > projects/old/src/lib/util.c

show "scratch folder $scratch"
echo
echo "-- one file"
run report.doc
echo
echo "-- every file matching a pattern"
run 'logs/*.log'
run 'logs/*.tmp'
echo
echo "-- a directory tree, after the question (answered x, then y)"
echo "\$ Korwipe -d projects/old"
PYTHONPATH="$root/tests/harness" python3 - "$korwipe" <<'PY'
import sys, time
from terminal import TerminalRun
t = TerminalRun([sys.argv[1], "-d", "projects/old"])
t.wait_for("[y/n]", 10)
for key in "xy":
    time.sleep(0.4)
    t.send(key)
rc = t.finish(60)
sys.stdout.write(t.screen.decode("latin-1").replace("\r\n", "\n"))
print(f"(exit code {rc})")
PY
show "left in the scratch folder"

if [ -x /usr/lib/wine/wine64 ] && [ -f "$korwipe_exe" ]; then
  echo
  echo "-- the Windows build under Wine (a private prefix; the first start takes a few seconds)"
  for n in a b; do head -c 1500 /dev/urandom > "logs/$n.log"; done
  show "before"
  echo "\$ wine64 Korwipe.exe logs\\*.log"
  PYTHONPATH="$root/tests/harness" python3 - "$korwipe_exe" "$scratch" <<'PY'
import sys
from wine import WinePrefix
with WinePrefix("korwipe-demo") as wp:
    r = wp.run(sys.argv[1], ["logs\\*.log"], cwd=sys.argv[2], timeout=300)
    sys.stdout.write(r.out.replace("\r\n", "\n"))
    print(f"(exit code {r.rc})")
PY
  show "after"
else
  echo
  echo "(Wine or the Windows build is not available: Windows demo skipped)"
fi
echo
echo "Korwipe demo done."

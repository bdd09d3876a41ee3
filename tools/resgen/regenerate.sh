#!/bin/sh
# Regenerates every made file in presentation/res: the thirteen MBM pictures,
# the five WAVE clips and the cursor and icon pieces. The output is the same
# byte for byte on every run; commit it, since the programs are built from
# the committed files without these tools.
#
# usage: tools/resgen/regenerate.sh [--preview DIR]
#   --preview DIR   also write PNG pictures of every state of the scene and
#                   of every step of the story (with pointer and spinner), and
#                   a contact sheet of the steps, into DIR
# The tools are built in $KOR_RESGEN_BUILD (default build/native).
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${KOR_RESGEN_BUILD:-$root/build/native}
preview=""
if [ "${1:-}" = "--preview" ]; then
  preview=$2
  mkdir -p "$preview"
fi

# Configure every time: cheap, and it picks up tool sources added since.
(cd "$root" && cmake --preset native -B "$build" >/dev/null)
cmake --build "$build" --target resgen_pictures resgen_sounds resgen_cursor_icon resgen_preview -j2 >/dev/null

res=$root/presentation/res
tools=$build/tools/resgen
"$tools/resgen_pictures" "$res" $preview
"$tools/resgen_sounds" "$res"
"$tools/resgen_cursor_icon" "$res" $preview
if [ -n "$preview" ]; then
  "$tools/resgen_preview" "$res" "$preview"
fi
echo "regenerated $res"

#!/bin/sh
# Makes the animated preview of the presentation: the timeline played off
# screen by presentation_preview (the program's own timeline and pictures),
# each picture shown for as many 50 ms ticks as it stays on screen, the last
# one held for two seconds, assembled by ImageMagick.
#
#   tools/preview/make-gif.sh PRESENTATION_PREVIEW OUT.gif [SPEED]
set -e
preview=$1
out=$2
speed=${3:-1}
[ -x "$preview" ] && [ -n "$out" ] || { echo "usage: $0 PRESENTATION_PREVIEW OUT.gif [SPEED]" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$preview" "$work" --speed "$speed" >/dev/null

# frames.txt: "TICK FILE" per picture, then "end TICK" (the end question).
set --
previous_tick=""
previous_file=""
while read -r tick file; do
  if [ "$tick" = end ]; then
    # The last picture: until the question, then two seconds more.
    set -- "$@" -delay $(( (file - previous_tick) * 5 + 200 )) "$work/$previous_file"
    break
  fi
  if [ -n "$previous_file" ]; then
    set -- "$@" -delay $(( (tick - previous_tick) * 5 )) "$work/$previous_file"
  fi
  previous_tick=$tick
  previous_file=$file
done <"$work/frames.txt"

convert -loop 0 "$@" -layers Optimize "$out"

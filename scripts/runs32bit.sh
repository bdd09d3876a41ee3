#!/bin/sh
# runs32bit.sh [FOLDER]: exits 0 when the kernel runs 32-bit programs, 1 when
# it does not, 2 when the probe cannot be written (nothing known). The
# kernel's version does not tell, so a 96-byte ELF32 i386 program that exits
# with 42 (mov ebx,42; mov eax,1; int 0x80) is written in FOLDER (default: the
# checkout's build folder; /tmp may be mounted noexec) and started. Used by
# setup.sh and by the Wine test harness.
folder=${1:-"$(dirname "$0")/../build"}
mkdir -p "$folder" || exit 2
probe=$(mktemp "$folder/probe32.XXXXXX") || exit 2
printf '\177\105\114\106\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000\001\000\000\000\124\200\004\010\064\000\000\000\000\000\000\000\000\000\000\000\064\000\040\000\001\000\000\000\000\000\000\000\001\000\000\000\000\000\000\000\000\200\004\010\000\200\004\010\140\000\000\000\140\000\000\000\005\000\000\000\000\020\000\000\273\052\000\000\000\270\001\000\000\000\315\200' > "$probe" && chmod +x "$probe" || { rm -f "$probe"; exit 2; }
rc=0
"$probe" 2>/dev/null || rc=$?
rm -f "$probe"
[ "$rc" -eq 42 ]

// Path and pattern helpers shared by the forms, the walk and the platform
// layer, and the path rules of the platform the program is built for.
#pragma once

#include <cstddef>

// Paths live in fixed buffers of this many characters, terminator included.
constexpr size_t kPathMax = 260;

// The platform's path rules, a seam defined once per build (paths_posix.cpp,
// paths_win32.cpp).
// True for a character that ends the directory part of a path or pattern:
// backslash, slash and a drive colon on Windows, slash on POSIX.
bool isPathSeparator(char c);
// The separator written between a directory and an entry name.
char pathSeparator();
// Bytes of the character that starts at text (which is not at its end): 2
// for the lead byte of a double-byte character in the code page of the
// Windows file functions (there a trail byte may be 0x5C, a backslash), 1
// otherwise. Always 1 on POSIX, where no byte of a multi-byte UTF-8
// character is an ASCII one.
size_t textCharLength(const char* text);

// True when text contains * or ? anywhere (an empty text has none).
bool hasWildcards(const char* text);

// Length of the pattern's directory part: up to and including its last
// separator (isPathSeparator); 0 when it has none.
size_t dirPartLength(const char* pattern);

// out = the first headLength characters of head, then tail. False, with out
// emptied, when the result does not fit in kPathMax: a truncated path could
// name another file, so it is never used.
bool joinPath(char (&out)[kPathMax], const char* head, size_t headLength, const char* tail);

// The Linux build's name matching: * is any run of characters (also empty),
// ? exactly one, everything else itself, case-sensitive, names beginning with
// a dot included. (The Windows build matches by the Windows rule: winmatch.h.)
bool matchName(const char* pattern, const char* name);

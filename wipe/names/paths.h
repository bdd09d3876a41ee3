// Path and pattern helpers shared by the driver, the directory walk and the
// platform searches.
#pragma once

#include <cstddef>

#include "os.h"

// True when text contains * or ? anywhere (an empty text has none).
bool hasWildcards(const char* text);

// Length of the pattern's directory part: up to and including its last
// separator (osIsSeparator); 0 when it has none.
size_t dirPartLength(const char* pattern);

// out = the first headLength characters of head, then tail. False, with out
// emptied, when the result does not fit in kPathMax: a truncated path could
// name another file, so it is never used.
bool joinPath(char (&out)[kPathMax], const char* head, size_t headLength, const char* tail);

// The Linux build's name matching: * is any run of characters (also empty),
// ? exactly one character (osCharLength: of the locale's encoding, an
// invalid byte counting as one), everything else itself, case-sensitive,
// names beginning with a dot included. (The Windows build leaves matching to
// the system's search: winmatch.h.)
bool matchName(const char* pattern, const char* name);

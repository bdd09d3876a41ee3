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

// Matches name against a name pattern of * (any run, also empty) and ? (one
// character). With windowsRules the match ignores ASCII case, and a pattern
// ending in ".*" or "." also matches a name without a dot through the part
// before it (so "*.*" matches "README"), as the platform's searches do.
// Otherwise the match is case-sensitive and literal, names beginning with a
// dot included.
bool matchName(const char* pattern, const char* name, bool windowsRules);

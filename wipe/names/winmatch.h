// File-name matching as the Windows directory search does it, on UTF-16.
//
// A search pattern goes through two stages. FindFirstFile first rewrites the
// typed name pattern into an expression for the file system (translation
// below); the file system then runs that expression against every entry,
// comparing one UTF-16 unit at a time after upper-casing both sides
// (nameInExpression). The system's search tests each entry's long name and
// its 8.3 short name; Korwipe's listing (os_win32_dirs.cpp) tests the long
// name alone, since a short name is nothing the user typed.
//
// Portable: the only platform piece is upcaseUnits (wintext.h).
#pragma once

#include <string>

// Expression elements with a meaning of their own to the file system's
// matcher. The values are the characters the system uses for them, so a
// caller who types one of them gets that meaning too.
constexpr char16_t kDosStar = u'<';  // like *, but never past the name's last dot
constexpr char16_t kDosQm = u'>';    // one character, or none at a dot or the name's end
constexpr char16_t kDosDot = u'"';   // a dot, or nothing at the name's end

// The expression FindFirstFile hands to the file system for a typed name
// pattern (the part after the last separator): trailing dots and spaces
// removed (not for a "\\?\" path: verbatimPath), "*.*" made "*", and the
// DOS forms put in for ?, for a dot before ? or *, for * before a dot and for
// a final * whose dot was removed. False when nothing is left: such a search
// fails.
bool translateSearchPattern(const std::u16string& typed, bool verbatimPath, std::u16string& expression);

// The file system's test of a name against an expression: an automaton that
// follows every way of pairing expression elements with name units at once.
// Case is ignored through upcaseUnits. An empty name matches only an empty
// expression.
bool nameInExpression(const std::u16string& expression, const std::u16string& name);

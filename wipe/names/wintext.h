// UTF-16 text as the Windows file functions see it, and the one place that
// decides which code page their ANSI text is in.
#pragma once

#include <string>

// Upper-cases every unit on its own, the way the file system compares names:
// one unit to one unit, no unit pairs, no expansions (so "ß" stays "ß"). A
// seam defined once per build: wintext_win32.cpp asks the system's
// file-system casing, wintext_native.cpp uses tableUpcaseUnit.
void upcaseUnits(std::u16string& text);

// The portable upper-case table, for tests that run without Windows. It
// covers U+0000 to U+017F (ASCII, Latin-1 with ÿ/Ÿ, Latin Extended-A with
// œ/Œ), the Greek letters U+0386 to U+03CE, and Cyrillic U+0400 to U+045F,
// with the file system's one-unit mappings (µ, ı, ſ, ς and ß have none);
// every other unit maps to itself.
char16_t tableUpcaseUnit(char16_t c);

// ---- Windows builds only (wintext_win32.cpp) ------------------------------
//
// The ANSI file functions take text in the ANSI code page, or in the OEM one
// after SetFileApisToOEM; it is asked for as a number every time (never
// CP_ACP), so that a UTF-8 code page is seen as such.

// text widened with that code page; false when it holds a byte sequence the
// code page does not define.
bool widenFileText(const char* text, std::u16string& out);

// wide narrowed to that code page without any nearest-form substitution;
// true only when the result stands for exactly wide (no default character,
// and it widens back to the same units). out is filled either way, with the
// code page's default character for what has no form, for messages.
bool narrowFileText(const std::u16string& wide, std::string& out);

// Which bytes start a double-byte character in that code page.
const bool (&fileTextLeadBytes())[256];

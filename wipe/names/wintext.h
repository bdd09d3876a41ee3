// UTF-16 text as the Windows file functions see it.
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

// Windows builds only: text from or for an ANSI file function widened with
// the code page those functions use (ANSI, or OEM after SetFileApisToOEM).
// False when it cannot be converted.
bool widenFileApiText(const char* text, std::u16string& out);

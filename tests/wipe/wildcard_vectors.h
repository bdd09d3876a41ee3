// Runs the Windows matching vectors of wildcard_vectors.txt through the
// steps a Windows listing of a pattern takes (os_win32_dirs.cpp): the typed
// pattern translated once (translateSearchPattern), every listed long name
// tested against the expression (nameInExpression). Natively with the
// portable upper-case table, in a Windows test program with the system's.
// No test framework, so both can use it.
#pragma once

#include <string>
#include <vector>

// Rows of each kind in the file; a runner that reads fewer has lost some.
constexpr int kLongRows = 115, kShortRows = 8, kTranslateRows = 20, kRawRows = 27;

// A long-name row as read: for runs through other paths (the ANSI calls).
struct LongRow {
  std::string line;
  std::u16string pattern, name;
  bool match;
};

struct VectorRun {
  std::vector<LongRow> longs;
  int longRows = 0, shortRows = 0, translateRows = 0, rawRows = 0;
  std::vector<std::string> failures;  // one line per failed check, naming its row
  bool complete() const {
    return longRows == kLongRows && shortRows == kShortRows && translateRows == kTranslateRows && rawRows == kRawRows;
  }
};

// Reads the file at path and checks every row. False when the file cannot be
// read or holds a line it does not understand (reported in failures).
bool runWildcardVectors(const char* path, VectorRun& run);

// What a listing of the typed pattern keeps of an entry of that name.
bool listingKeeps(const std::u16string& typed, const std::u16string& name);

// The text of a vector field: UTF-8 to UTF-16, "␠" a space, "(empty)" nothing.
std::u16string vectorText(const std::string& field);

// Where the erase path's messages go.
//
// Normally straight out: lines to standard output, warnings to standard
// error after standard output is flushed, so that a combined output keeps
// their order. While files are erased side by side (batch.h), each file's
// lines are held in its own Transcript and printed in file order once the
// batch is done, so the output reads exactly as if the files had been erased
// one after the other.
#pragma once

#include <string>
#include <vector>

struct Transcript {
  struct Line {
    bool warning;  // standard error
    std::string text;
  };
  std::vector<Line> lines;
};

// Where messages go now: null for straight out.
extern Transcript* activeTranscript;

// printf-style; the text carries its own line end.
void reportLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void reportWarning(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Prints a held transcript in order and empties it.
void printTranscript(Transcript& t);

// Writes text (a whole line, its line end included) to standard output, or
// to standard error after standard output is flushed when warning. Every
// line Korwipe prints goes out here.
void writeLine(bool warning, const char* text);
// printf-style writeLine to standard output, straight out.
void printLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// text as a terminal is sent it: every control character (textIsControlChar)
// shown as '?', except a final line end, so that a name can neither end a
// line, start an escape sequence nor move the cursor. writeLine sends a
// terminal this and anything else (a file, a pipe) the bytes as they are.
std::string shownOnTerminal(const char* text);

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

#include "wipe/erase/report.h"

#include <cstdarg>
#include <cstdio>

Transcript* activeTranscript = nullptr;

static void emit(bool warning, const char* text) {
  if (warning) {
    std::fflush(stdout);
    std::fputs(text, stderr);
  } else {
    std::fputs(text, stdout);
  }
}

static void report(bool warning, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  if (activeTranscript)
    activeTranscript->lines.push_back({warning, text});
  else
    emit(warning, text);
}

void reportLine(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report(false, format, args);
  va_end(args);
}

void reportWarning(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report(true, format, args);
  va_end(args);
}

void printTranscript(Transcript& t) {
  for (const Transcript::Line& line : t.lines) emit(line.warning, line.text.c_str());
  t.lines.clear();
}

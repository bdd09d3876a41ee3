#include "wipe/erase/report.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "wipe/names/paths.h"
#include "wipe/os/os.h"

Transcript* activeTranscript = nullptr;

std::string shownOnTerminal(const char* text) {
  size_t n = std::strlen(text);
  size_t end = n > 0 && text[n - 1] == '\n' ? n - 1 : n;
  std::string shown;
  shown.reserve(n);
  for (size_t i = 0; i < end;) {
    size_t k = textCharLength(text + i);
    if (k > end - i) k = end - i;  // never past the kept line end
    if (textIsControlChar(text + i, k))
      shown += '?';
    else
      shown.append(text + i, k);
    i += k;
  }
  shown.append(text + end, n - end);
  return shown;
}

void writeLine(bool warning, const char* text) {
  FILE* stream = warning ? stderr : stdout;
  if (warning) std::fflush(stdout);
  if (osIsTerminal(warning))
    std::fputs(shownOnTerminal(text).c_str(), stream);
  else
    std::fputs(text, stream);
}

void printLine(const char* format, ...) {
  char text[1024];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  writeLine(false, text);
}


static void report(bool warning, const char* format, va_list args) {
  char text[1024];
  std::vsnprintf(text, sizeof text, format, args);
  if (activeTranscript)
    activeTranscript->lines.push_back({warning, text});
  else
    writeLine(warning, text);
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
  for (const Transcript::Line& line : t.lines) writeLine(line.warning, line.text.c_str());
  t.lines.clear();
}

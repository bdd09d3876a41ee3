// A fixed text buffer that is composed piece by piece and never overruns.
//
// cfgsetup builds its paths and the tool's parameter line by appending pieces
// to fixed buffers. A piece that would not fit is not written at all: the
// buffer keeps its earlier content and is marked unusable, and it stays
// unusable through every later append until it is assigned afresh. The caller
// composes the whole string and checks `usable` once, where the string is
// about to be handed to the system; a truncated path could name another file,
// so an unusable text is never handed over.
//
// Char is wchar_t for the Windows build (UTF-16) and char for the POSIX one.
#pragma once

#include <cstddef>

template <typename Char, std::size_t Capacity>
struct BoundedText {
  static_assert(Capacity > 0, "a text needs room for its terminator");
  static constexpr std::size_t capacity = Capacity;  // characters, terminator included

  Char text[Capacity] = {};
  std::size_t length = 0;  // characters before the terminator
  bool usable = true;

  // Empty and usable again.
  void clear() {
    text[0] = Char(0);
    length = 0;
    usable = true;
  }

  // Marks the text as not formed, for a platform call that failed or could
  // not fit its result. The content is emptied so it cannot be used by mistake.
  void invalidate() {
    text[0] = Char(0);
    length = 0;
    usable = false;
  }

  // Appends tail; false (and unusable from now on) when the result would not
  // fit with its terminator. An unusable text takes no more pieces.
  bool append(const Char* tail) {
    if (!usable) return false;
    std::size_t n = 0;
    while (tail[n] != Char(0)) {
      if (length + n + 1 >= Capacity) {
        usable = false;
        text[length] = Char(0);
        return false;
      }
      text[length + n] = tail[n];
      ++n;
    }
    length += n;
    text[length] = Char(0);
    return true;
  }

  // Appends another composed text; its unusability carries over.
  template <std::size_t OtherCapacity>
  bool append(const BoundedText<Char, OtherCapacity>& other) {
    if (!other.usable) {
      usable = false;
      return false;
    }
    return append(other.text);
  }

  bool assign(const Char* s) {
    clear();
    return append(s);
  }

  // Takes the content a platform call wrote straight into `text`: usable when
  // a terminator lies within the buffer, else invalidated.
  bool acceptFilled() {
    for (std::size_t i = 0; i < Capacity; ++i) {
      if (text[i] == Char(0)) {
        length = i;
        usable = true;
        return true;
      }
    }
    invalidate();
    return false;
  }

  // Ends the text directly after its last `mark`, keeping the mark; a text
  // without one is left as it is. False when there was no mark.
  bool cutAfterLast(Char mark) {
    for (std::size_t i = length; i > 0; --i) {
      if (text[i - 1] == mark) {
        length = i;
        text[length] = Char(0);
        return true;
      }
    }
    return false;
  }
};

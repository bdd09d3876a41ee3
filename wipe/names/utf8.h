// UTF-8, read one character at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the character that starts at text (not at its end; the text ends
// with a 0 byte): 1 to 4 for a well-formed UTF-8 sequence, whose scalar value
// goes to *code; 1 for a byte that starts none (a stray continuation byte,
// an overlong form, a surrogate, a value past U+10FFFF, a sequence cut
// short), whose own value goes to *code. So every byte string splits into
// characters, an invalid byte counting as one.
size_t utf8CharLength(const char* text, uint32_t* code);

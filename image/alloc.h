// Where the library's buffers come from.
//
// Every palette, pixel and working buffer of the library is taken here and
// given back with std::free, so that an Image's buffers can also be freed by
// code that knows only that they come from std::malloc. The unit tests link
// their own definition of these two functions, one that can be told to fail,
// to drive every out-of-memory path.
#pragma once

#include <cstddef>

// A buffer of size bytes, or null. zeroed asks for it filled with 0.
unsigned char* imageAlloc(size_t size, bool zeroed);

// Gives back a buffer from imageAlloc (null is allowed).
void imageFree(void* buffer);

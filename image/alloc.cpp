#include "alloc.h"

#include <cstdlib>

unsigned char* imageAlloc(size_t size, bool zeroed) {
  // A zero-area picture still gets a real buffer: a null pixels pointer means
  // an empty Image.
  if (size == 0) size = 1;
  void* buffer = zeroed ? std::calloc(size, 1) : std::malloc(size);
  return static_cast<unsigned char*>(buffer);
}

void imageFree(void* buffer) { std::free(buffer); }

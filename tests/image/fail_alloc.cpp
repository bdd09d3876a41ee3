// The library's allocator for the unit tests: std::malloc, but told to fail
// after a number of allocations so that every out-of-memory path can be run.
#include <cstdlib>

#include "alloc.h"
#include "alloc_control.h"

namespace {
int allowedLeft = -1;  // -1: no limit
int made = 0;
}  // namespace

void failAllocationsAfter(int allowed) {
  allowedLeft = allowed;
  made = 0;
}

void allowAllAllocations() {
  allowedLeft = -1;
  made = 0;
}

int allocationsMade() { return made; }

unsigned char* imageAlloc(size_t size, bool zeroed) {
  if (allowedLeft == 0) return nullptr;
  if (allowedLeft > 0) --allowedLeft;
  ++made;
  if (size == 0) size = 1;
  return static_cast<unsigned char*>(zeroed ? std::calloc(size, 1) : std::malloc(size));
}

void imageFree(void* buffer) { std::free(buffer); }

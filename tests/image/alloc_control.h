// Test control over the image library's allocator (fail_alloc.cpp replaces
// image/alloc.cpp in the unit tests).
#pragma once

// The next `allowed` allocations succeed, every later one fails, until
// allowAllAllocations().
void failAllocationsAfter(int allowed);
void allowAllAllocations();

// Allocations made since the last call of either function above.
int allocationsMade();

// Fails allocations for the scope of the object.
struct AllocationFailure {
  explicit AllocationFailure(int allowed) { failAllocationsAfter(allowed); }
  ~AllocationFailure() { allowAllAllocations(); }
};

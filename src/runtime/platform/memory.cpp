// Heap memory behind the fault seam.
#include "runtime/platform/memory.h"

#include <cstdlib>

#include "runtime/platform/fault.h"

namespace Sys {

void* Allocate(size_t n) {
  if (CheckFault(kCallAlloc) != 0) return nullptr;
  return std::malloc(n == 0 ? 1 : n);
}

void* AllocateZeroed(size_t n) {
  if (CheckFault(kCallAlloc) != 0) return nullptr;
  return std::calloc(n == 0 ? 1 : n, 1);
}

void* Reallocate(void* p, size_t n) {
  if (CheckFault(kCallAlloc) != 0) return nullptr;
  return std::realloc(p, n == 0 ? 1 : n);
}

void Release(void* p) { std::free(p); }

}  // namespace Sys

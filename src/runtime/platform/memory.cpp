// Heap memory behind the fault seam.
#include "runtime/platform/memory.h"

#include <atomic>
#include <cstdlib>

#include "runtime/platform/fault.h"

namespace Sys {
namespace {
std::atomic<bool> g_keep{false};
}  // namespace

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

void Release(void* p) {
  if (!g_keep.load(std::memory_order_relaxed)) std::free(p);
}

void KeepMemoryToEnd() { g_keep.store(true); }

}  // namespace Sys

// Memory for tables and buffers, through the fault seam (an injected ENOMEM
// makes a request fail).
#pragma once
#include <cstddef>

namespace Sys {

// n bytes, or null when they cannot be had. Zero bytes gives a valid pointer.
void* Allocate(size_t n);

// n bytes set to zero, or null.
void* AllocateZeroed(size_t n);

// Resizes; null on failure (the old block is then still valid).
void* Reallocate(void* p, size_t n);

// Gives p back; nothing once KeepMemoryToEnd was called.
void Release(void* p);

// From now on Release keeps every block: the process is about to end, and
// the ending may have interrupted the allocator itself (a console event).
void KeepMemoryToEnd();

}  // namespace Sys

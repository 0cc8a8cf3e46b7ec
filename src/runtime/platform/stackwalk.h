// The stack walk of the traceback: return addresses of the calling thread and
// the module (shared object or executable) that holds an address.
#pragma once
#include <cstddef>
#include <cstdint>

namespace Sys {

// Prepares the walker so that later walks allocate nothing (the first walk
// of a process loads the unwinder). Call once outside any signal handler.
void PrepareStackWalk();

// Stores up to `max` code addresses of the calling thread's stack, innermost
// first, starting with the caller of CaptureStack. Returns the count, 0 when
// the walk fails.
int CaptureStack(uintptr_t* frames, int max);

// What the system knows about a code address.
struct CodeOrigin {
  const char* module_path;  // path of the module, null when unknown
  uintptr_t module_base;    // load address of the module, 0 when unknown
  const char* symbol;       // nearest exported symbol, null when none
  uintptr_t symbol_address;
};

// Fills *origin for `pc`. Returns false (and clears *origin) when no loaded
// module holds the address.
bool FindCodeOrigin(uintptr_t pc, CodeOrigin* origin);

}  // namespace Sys

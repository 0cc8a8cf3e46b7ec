// Stack walk with backtrace() and module look-up with dladdr().
#include "runtime/platform/stackwalk.h"

#include <dlfcn.h>
#include <execinfo.h>

#include "runtime/platform/fault.h"

namespace Sys {

void PrepareStackWalk() {
  void* frames[4];
  ::backtrace(frames, 4);
}

int CaptureStack(uintptr_t* frames, int max) {
  if (max <= 0 || CheckFault(kCallOther) != 0) return 0;
  // backtrace() wants void* slots; walk into a fixed window and skip our own
  // frame. Deep stacks are cut at the window size.
  constexpr int kWindow = 1024;
  void* raw[kWindow];
  int want = max + 1 < kWindow ? max + 1 : kWindow;
  int n = ::backtrace(raw, want);
  int out = 0;
  for (int i = 1; i < n && out < max; ++i) frames[out++] = reinterpret_cast<uintptr_t>(raw[i]);
  return out;
}

bool FindCodeOrigin(uintptr_t pc, CodeOrigin* origin) {
  *origin = CodeOrigin{};
  Dl_info info = {};
  if (::dladdr(reinterpret_cast<void*>(pc), &info) == 0) return false;
  origin->module_path = info.dli_fname;
  origin->module_base = reinterpret_cast<uintptr_t>(info.dli_fbase);
  origin->symbol = info.dli_sname;
  origin->symbol_address = reinterpret_cast<uintptr_t>(info.dli_saddr);
  return true;
}

}  // namespace Sys

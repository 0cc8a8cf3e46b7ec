// The escape from a running function: a jump point per thread, set before the
// function starts and used from a synchronous signal's handler.
#include "runtime/platform/escape.h"

#include <setjmp.h>

namespace Sys {
namespace {
// The jump point of this thread's innermost RunEscapable, or null. Initial
// thread-local storage of the executable, so reading it in a handler is safe.
thread_local sigjmp_buf* t_point = nullptr;
}  // namespace

int RunEscapable(void (*body)()) {
  sigjmp_buf point;
  sigjmp_buf* const outer = t_point;
  // Saving the signal mask here means a jump out of a handler also unblocks
  // the signal that the handler was running for.
  int value = sigsetjmp(point, 1);
  if (value == 0) {
    t_point = &point;
    body();
  }
  t_point = outer;
  return value;
}

void Escape(int value) {
  sigjmp_buf* point = t_point;
  if (!point) return;
  siglongjmp(*point, value != 0 ? value : 1);
}

bool EscapableRunning() { return t_point != nullptr; }

}  // namespace Sys

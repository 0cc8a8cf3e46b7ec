// A way back out of a running function from a signal handler: the process
// sequence runs the body escapably; a floating-point trap report leaves it.
#pragma once

namespace Sys {

// Runs body() on this thread. Returns 0 when it returns normally, or the
// (non-zero) value given to Escape when it was abandoned. The signal mask in
// force at the start is restored after an escape. Nests.
int RunEscapable(void (*body)());

// Abandons the innermost RunEscapable of this thread, which then returns
// `value` (1 when `value` is 0). Returns, doing nothing, when this thread runs
// no escapable function. Async-signal-safe; meant for synchronous signals.
void Escape(int value);

// True while this thread is inside RunEscapable.
bool EscapableRunning();

}  // namespace Sys

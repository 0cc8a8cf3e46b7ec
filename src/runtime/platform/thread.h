// Threads of the process: a worker started on a plain function and joined,
// and the number of processors the process may run on.
#pragma once

namespace Sys {

using ThreadHandle = unsigned long;

// Starts body(arg) on a new thread. The new thread blocks every signal that
// can be blocked, so console signals keep reaching the thread that started
// it. Returns 0 and sets *handle, or the system's error number.
int StartThread(void (*body)(void*), void* arg, ThreadHandle* handle);

// Waits until the thread started as `handle` has ended.
void JoinThread(ThreadHandle handle);

// Processors this process may run on (its affinity mask), at least 1.
int UsableProcessors();

}  // namespace Sys

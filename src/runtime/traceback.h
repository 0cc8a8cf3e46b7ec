// The traceback: the context that says where a reported exception happened,
// and the table of stack frames appended to a diagnostic.
#pragma once
#include <cstddef>
#include <atomic>
#include <cstdint>

// What the exception report hands to the traceback; all zero for a failure
// that the run-time detected itself. Constant-initialised, so start-up may
// create it from a static initialiser of another file.
struct TracebackContext {
  bool exists = false;
  bool from_exception = false;
  int signal = 0;
  int code = 0;
  uintptr_t fault_address = 0;
  uintptr_t pc = 0;                   // where the exception happened
  std::atomic<int> continue_flag{0};  // a debugger continues the exception
  std::atomic<int> filter_flag{0};    // the exception filter is reporting
};

namespace Traceback {

// Creates the process's traceback context (fields zero) and readies the
// stack walk. Start-up calls this first; without a context no traceback is
// written. Returns false when it cannot be had.
bool CreateContext();

// Releases the context: later reports carry no traceback.
void ReleaseContext();

// The context, or null when it does not exist.
TracebackContext* Context();

// True when a verbose traceback is asked for by the environment.
bool VerboseWanted();

// Appends the traceback of the calling thread to buffer[0..capacity), which
// already holds `used` bytes; rows that do not fit are cut and end the walk.
// When the context holds an exception, the walk starts at its address.
// Returns the new used length. Async-signal-safe once CreateContext ran.
size_t Append(char* buffer, size_t used, size_t capacity, bool verbose);

}  // namespace Traceback

// Process services of the diagnostics: ending the process, writing a report to
// standard error or a log file, redirecting standard error, the debugger check
// and the report buffer. Every call here is async-signal-safe.
#pragma once
#include <cstddef>

namespace Sys {

// Ends the process at once with `status` (the shell sees status mod 256).
// Exit handlers and stream buffers are not run: the run-time writes through
// descriptors and has closed its units already.
[[noreturn]] void ExitProcess(int status);

// Ends the process abnormally (SIGABRT with its default action, core dump
// where the system allows one).
[[noreturn]] void AbortProcess();

// Blocks the calling thread for good; used by a thread that must not go on
// while another thread ends the process.
[[noreturn]] void ParkThread();

// The system's number of the calling thread (never 0).
long CurrentThreadId();

// The system's number of this process.
long CurrentProcessId();

// Writes n bytes to descriptor 2 in one system write (the rest again only if
// the system wrote less). Returns 0 or the errno value.
int WriteStderr(const char* text, size_t n);

// Opens `path` for appending (created when missing), writes n bytes in one
// write and closes it. Returns 0 or the errno value.
int AppendToFile(const char* path, const char* text, size_t n);

// Points descriptor 2 at `path`, opened for appending (created when missing).
// Returns 0 or the errno value; descriptor 2 is unchanged on failure.
int ReopenStderrAppend(const char* path);

// True when a tracer (debugger) is attached to this process: a non-zero
// TracerPid in /proc/self/status.
bool TracerAttached();

// Raises a breakpoint trap for an attached debugger. With no tracer it does
// nothing (the trap is ignored for the moment of raising it).
void RaiseBreakpoint();

constexpr size_t kReportBufferSize = 16384;

// Claims the process's one report buffer of kReportBufferSize bytes. Returns
// null when it is in use by another report or the request is refused (the
// fault seam's allocation kind).
char* ClaimReportBuffer();

// Gives the report buffer back.
void ReleaseReportBuffer(char* buffer);

}  // namespace Sys

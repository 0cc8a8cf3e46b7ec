// The seam under every system call: counts the calls and lets a test make the
// Nth one fail with an error of its choice (fault injection).
#pragma once
#include <cstdint>

namespace Sys {

// The kinds of call the seam counts. A fault plan may be limited to some kinds.
enum CallKind : unsigned {
  kCallOpen = 1u << 0,
  kCallRead = 1u << 1,
  kCallWrite = 1u << 2,
  kCallSeek = 1u << 3,
  kCallTruncate = 1u << 4,
  kCallClose = 1u << 5,
  kCallStat = 1u << 6,
  kCallAlloc = 1u << 7,
  kCallOther = 1u << 8,
  kCallAll = 0x1FFu,
};

// Makes the nth counted call (1-based, counting only calls whose kind is in
// `kinds`) fail with `error`, and every later one too when `persistent` (a
// device that has gone bad). nth = 0 removes the plan. Also resets the count.
void SetFault(uint64_t nth, int error, unsigned kinds = kCallAll, bool persistent = false);

// Number of counted calls since the last SetFault or ResetCalls. Calls are
// counted only while a plan (nth != 0) or a trace is set.
uint64_t CallCount();
void ResetCalls();

// Optional trace for tests: every counted call appends its kind to `trace`
// (up to `capacity` entries); `*length` receives the number recorded.
void SetCallTrace(CallKind* trace, uint64_t capacity, uint64_t* length);

// Called by every platform wrapper before its system call: returns the
// injected error number when this call is the planned one, otherwise 0.
int CheckFault(CallKind kind);

}  // namespace Sys

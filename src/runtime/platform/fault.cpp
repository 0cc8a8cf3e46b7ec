// Fault injection state: one plan and one counter for the whole process.
#include "runtime/platform/fault.h"

#include <atomic>

namespace Sys {
namespace {
// True while a plan or a trace is set: only then are calls counted, so that
// a run without either pays one load per call.
std::atomic<bool> g_watching{false};
std::atomic<uint64_t> g_count{0};
uint64_t g_nth = 0;
int g_error = 0;
unsigned g_kinds = kCallAll;
bool g_persistent = false;
CallKind* g_trace = nullptr;
uint64_t g_trace_capacity = 0;
uint64_t* g_trace_length = nullptr;
}  // namespace

void SetFault(uint64_t nth, int error, unsigned kinds, bool persistent) {
  g_nth = nth;
  g_persistent = persistent;
  g_error = error;
  g_kinds = kinds;
  g_count = 0;
  g_watching = g_nth != 0 || g_trace_length != nullptr;
}

uint64_t CallCount() { return g_count; }
void ResetCalls() { g_count = 0; }

void SetCallTrace(CallKind* trace, uint64_t capacity, uint64_t* length) {
  g_trace = trace;
  g_trace_capacity = capacity;
  g_trace_length = length;
  if (length) *length = 0;
  g_watching = g_nth != 0 || g_trace_length != nullptr;
}

int CheckFault(CallKind kind) {
  if (!g_watching.load(std::memory_order_relaxed) || !(g_kinds & kind)) return 0;
  uint64_t n = ++g_count;
  if (g_trace && g_trace_length && *g_trace_length < g_trace_capacity)
    g_trace[(*g_trace_length)++] = kind;
  if (g_nth != 0 && (n == g_nth || (g_persistent && n > g_nth))) return g_error;
  return 0;
}

}  // namespace Sys

// Array creation with the size check of a 32-bit byte count.
#include "compute/arrays.h"

#include "runtime/diagnostics.h"
#include "runtime/platform/memory.h"

namespace {
constexpr unsigned kMsgNoMemory = 41;
constexpr unsigned kMsgSizeOverflow = 179;
constexpr uint64_t kMaxBytes = 0xFFFFFFFFull;
}  // namespace

float* CreateRealArray(int64_t count) {
  if (count < 0) count = 0;
  const uint64_t elements = static_cast<uint64_t>(count);
  if (elements > kMaxBytes / sizeof(float)) ReportMessage(kMsgSizeOverflow);
  void* p = Sys::AllocateZeroed(elements * sizeof(float));
  if (!p) ReportMessage(kMsgNoMemory);
  return static_cast<float*>(p);
}

// Array creation with the size check of a 32-bit byte count.
#include "compute/arrays.h"

#include "runtime/diagnostics.h"
#include "runtime/msg.h"
#include "runtime/platform/memory.h"

namespace {
constexpr uint64_t kMaxBytes = 0xFFFFFFFFull;
}  // namespace

float* CreateRealArray(int64_t count) {
  if (count < 0) count = 0;
  const uint64_t elements = static_cast<uint64_t>(count);
  if (elements > kMaxBytes / sizeof(float)) ReportMessage(Msg::kSizeOverflow);
  void* p = Sys::AllocateZeroed(elements * sizeof(float));
  if (!p) ReportMessage(Msg::kNoMemory);
  return static_cast<float*>(p);
}

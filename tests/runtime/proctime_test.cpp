// Tests of the processor time: the conversion of the process times, the
// fallback to the elapsed clock, and readings that never go backwards.
#include "runtime/proctime.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "runtime/platform/clock.h"
#include "runtime/platform/fault.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

TEST(ProcessorTimeTest, SecondsFromProcessTimes) {
  struct Case {
    uint64_t user_us, system_us;
    float want;
  } cases[] = {
      {0, 0, 0.0f},
      {1500000, 250000, 1.75f},
      {0, 15625, 0.015625f},
      {123456789, 0, 123.456789f},
      {3, 0, 3e-6f},
      // Summed in single precision the two would lose the 1: 2^24 + 1 + 1.
      {16777217, 1, 16.777218f},
      // Beyond 2^32 microseconds: no 32-bit truncation.
      {4294967296ull * 3, 0, 12884.901888f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.user_us << " + " << c.system_us);
    EXPECT_EQ(SecondsFromTimes(c.user_us, c.system_us), c.want);
  }
}

TEST(ProcessorTimeTest, ReadingsNeverGoBack) {
  float first = -1.0f, second = -1.0f;
  ProcessorTime(&first);
  volatile double sink = 0;
  for (int i = 0; i < 200000; ++i) sink = sink + i * 0.5;
  ProcessorTime(&second);
  EXPECT_GE(first, 0.0f);
  EXPECT_GE(second, first);
  EXPECT_GE(second - first, 0.0f);
}

// Without process times the clock of real time since start serves; a run
// that measured nothing reports exactly 0.
TEST(ProcessorTimeTest, FallsBackToElapsedClock) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    Sys::RestartElapsedClock();
    Sys::CallKind trace[4];
    uint64_t length = 0;
    Sys::SetCallTrace(trace, 4, &length);
    Sys::SetFault(1, EINVAL, Sys::kCallOther);
    float t = -1.0f;
    ProcessorTime(&t);
    Sys::SetFault(0, 0);
    Sys::SetCallTrace(nullptr, 0, nullptr);
    if (length != 2) return 1;  // the failed process times, then the clock
    if (t < 0.0f) return 2;
    const float later = SecondsFromElapsed(Sys::ElapsedMilliseconds());
    if (t > later) return 3;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(ProcessorTimeTest, NothingMeasuredIsZero) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    // The origin is unset, so the clock's first reading is its own origin.
    Sys::SetFault(1, EINVAL, Sys::kCallOther);
    Sys::RestartElapsedClock();  // fails: origin left unset
    Sys::SetFault(1, EINVAL, Sys::kCallOther);
    float t = -1.0f;
    ProcessorTime(&t);
    Sys::SetFault(0, 0);
    return t == 0.0f ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

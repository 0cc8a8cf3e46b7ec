// Tests of the process sequence around a body: start-up before it, finish
// after it, and a floating-point trap that abandons it but closes the files.
#include "app/process.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/floatctl.h"
#include "runtime/items.h"
#include "runtime/platform/cpu.h"
#include "runtime/startup.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"
#include "textout/listwriter.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

int g_body_state = 0;

void ConnectOutput() { ConnectNamedFile(3, 0, "output.txt", 10); }

void WriteValue(float value) {
  const OutItem item{kTypeReal4, &value, 4};
  ListWriter::begin(3, 0, &item, false);
}

// Only the program itself starts the run-time from the initialiser table;
// a test executable that links the process sequence starts it in RunProcess.
TEST(ProcessTest, NotStartedBeforeMainInTests) { EXPECT_FALSE(RuntimeStarted()); }

// Start-up is done when the body runs; its own float set-up is not.
void CheckedBody() {
  const uint32_t csr = Sys::ReadMxcsr();
  if (RuntimeStarted() && (csr & kMxcsrAllMasks) == kMxcsrAllMasks && !(csr & kMxcsrFlushToZero))
    g_body_state = 1;
  ConnectOutput();
  WriteValue(1.5f);
}

TEST(ProcessTest, BodyRunsAfterStartUpAndEndsWithZero) {
  TempDir dir;
  auto r =
      RunInChild(dir.path(), [] { return RunProcess(CheckedBody) + 100 * (g_body_state != 1); });
  EXPECT_EQ(r.status, 0) << r.err;
#if !defined(HYSTERESIS_SANITIZED)
  EXPECT_EQ(r.err, "");  // the leak checker may note the parent's threads
#endif
  EXPECT_EQ(dir.read("output.txt"), "   1.500000    \r\n");
}

// Writes a record, then divides by zero with that trap unmasked.
void TrappingBody() {
  ConnectOutput();
  WriteValue(2.0f);
  Sys::WriteMxcsr(Sys::ReadMxcsr() & ~kMxcsrDivideMask);
  volatile float zero = 0.0f;
  volatile float q = 1.0f / zero;
  (void)q;
  g_body_state = 2;  // not reached
  WriteValue(3.0f);
}

TEST(ProcessTest, FloatingTrapAbandonsBodyAndClosesFiles) {
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "the sanitizer owns the floating-point signal";
#endif
  TempDir dir;
  auto r =
      RunInChild(dir.path(), [] { return RunProcess(TrappingBody) + 100 * (g_body_state == 2); });
  EXPECT_EQ(r.status, 73) << r.err;
  EXPECT_NE(r.err.find("(73): floating divide by zero"), std::string::npos) << r.err;
  EXPECT_EQ(dir.read("output.txt"), "   2.000000    \r\n");
}

}  // namespace

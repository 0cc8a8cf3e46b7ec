// Tests of the run-time start-up (once only, float set-up, dialog switch),
// the finish and the escape from an abandoned body; start-ups run in children.
#include "runtime/startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cfenv>

#include "runtime/floatctl.h"
#include "runtime/platform/cpu.h"
#include "runtime/platform/fault.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

// A second full start-up would mask the x87 exceptions again and read the
// environment again; a call that returns at once does neither.
int StartTwice() {
  if (RuntimeStarted()) return 1;
  StartRuntime();
  if (!RuntimeStarted()) return 2;
  const uint16_t unmasked = static_cast<uint16_t>(Sys::ReadX87Control() & ~0x20);
  Sys::WriteX87Control(unmasked);
  if (ErrorDialogsSuppressed()) return 3;
  setenv("VELD_NOERROR_DIALOGS", "yes", 1);
  StartRuntime();
  if (ErrorDialogsSuppressed()) return 4;
  if (Sys::ReadX87Control() != unmasked) return 5;
  return 0;
}

TEST(StartRuntimeTest, SecondCallReturnsAtOnce) {
  TempDir dir;
  auto r = RunInChild(dir.path(), StartTwice, {{"VELD_NOERROR_DIALOGS", "\x01"}});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

// Start-up leaves every floating-point exception masked, the status flags
// clear and, on a processor that is not SSE-class, the SSE register alone.
TEST(StartRuntimeTest, FloatingPointStateAfterStart) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    Sys::WriteX87Control(0x0340);  // five x87 exceptions unmasked
    const uint32_t csr = 0x1F80 | 0x8000 | 0x2000;
    Sys::WriteMxcsr(csr | FE_OVERFLOW | FE_INEXACT);  // sticky flags, masked
    if (std::fetestexcept(FE_ALL_EXCEPT) != (FE_OVERFLOW | FE_INEXACT)) return 5;
    StartRuntime();
    if (Sys::ReadX87Control() != 0x037D) return 1;
    if (std::fetestexcept(FE_ALL_EXCEPT) != 0) return 2;
    if (ProcessorClass() < kClassSse && Sys::ReadMxcsr() != csr) return 3;
    if ((Sys::ReadMxcsr() & kMxcsrAllMasks) != kMxcsrAllMasks) return 4;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(StartRuntimeTest, NoErrorDialogsSwitch) {
  struct Case {
    const char* value;
    bool on;
  } cases[] = {{"y", true},  {"True", true}, {"1", true}, {"007", true},
               {"n", false}, {"0", false},   {"", false}, {"\x01", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TempDir dir;
    auto r = RunInChild(dir.path(),
                        [] {
                          StartRuntime();
                          return ErrorDialogsSuppressed() ? 10 : 20;
                        },
                        {{"VELD_NOERROR_DIALOGS", c.value}});
    EXPECT_EQ(r.status, c.on ? 10 : 20) << r.err;
  }
}

TEST(FinishRuntimeTest, NormalFinishIsZero) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    StartRuntime();
    return FinishRuntime();
  });
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

int g_after_abandon = 0;

TEST(ProgramBodyTest, AbandonReturnsToTheSequence) {
  g_after_abandon = 0;
  EXPECT_EQ(RunGuardedBody([] {}), 0);
  EXPECT_EQ(RunGuardedBody([] {
              AbandonProgramBody();
              g_after_abandon = 1;
            }),
            1);
  EXPECT_EQ(g_after_abandon, 0);
  // Outside a body the call returns and the caller goes on.
  AbandonProgramBody();
  // Nested bodies: the inner one is abandoned, the outer one goes on.
  EXPECT_EQ(RunGuardedBody([] {
              if (RunGuardedBody([] { AbandonProgramBody(); }) == 1) g_after_abandon = 2;
            }),
            0);
  EXPECT_EQ(g_after_abandon, 2);
}

// A real floating-point trap: the handler abandons the body, and the signal
// is unblocked again afterwards.
TEST(ProgramBodyTest, FloatingTrapAbandonsTheBody) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    struct sigaction action {};
    action.sa_handler = [](int) { AbandonProgramBody(); };
    sigemptyset(&action.sa_mask);
    if (sigaction(SIGFPE, &action, nullptr) != 0) return 1;
    const int abandoned = RunGuardedBody([] {
      Sys::WriteMxcsr(0x1F80 & ~kMxcsrDivideMask);
      volatile float zero = 0.0f;
      volatile float q = 1.0f / zero;
      (void)q;
      std::_Exit(2);  // not reached: the division traps
    });
    Sys::WriteMxcsr(0x1F80);
    if (abandoned != 1) return 3;
    sigset_t blocked;
    sigprocmask(SIG_BLOCK, nullptr, &blocked);
    if (sigismember(&blocked, SIGFPE)) return 4;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

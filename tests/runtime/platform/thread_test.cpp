// Tests of the worker thread: it runs and is joined, it keeps the console
// signals away from itself, and a refused start comes back as its number.
#include "runtime/platform/thread.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>

#include "runtime/platform/fault.h"

namespace {

struct Seen {
  bool ran = false;
  bool interrupt_blocked = false;
};

void Record(void* p) {
  Seen* seen = static_cast<Seen*>(p);
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  seen->interrupt_blocked = sigismember(&mask, SIGINT) == 1;
  seen->ran = true;
}

TEST(ThreadTest, RunsBlockingSignalsAndIsJoined) {
  sigset_t before, after;
  pthread_sigmask(SIG_SETMASK, nullptr, &before);
  Seen seen;
  Sys::ThreadHandle handle = 0;
  ASSERT_EQ(Sys::StartThread(Record, &seen, &handle), 0);
  Sys::JoinThread(handle);
  EXPECT_TRUE(seen.ran);
  EXPECT_TRUE(seen.interrupt_blocked);
  pthread_sigmask(SIG_SETMASK, nullptr, &after);
  EXPECT_EQ(sigismember(&after, SIGINT), sigismember(&before, SIGINT));
}

TEST(ThreadTest, RefusedStartReturnsTheErrorAndRunsNothing) {
  Seen seen;
  Sys::ThreadHandle handle = 0;
  Sys::SetFault(1, EAGAIN);
  EXPECT_EQ(Sys::StartThread(Record, &seen, &handle), EAGAIN);
  Sys::SetFault(0, 0);
  EXPECT_FALSE(seen.ran);
  EXPECT_GE(Sys::UsableProcessors(), 1);
}

}  // namespace

// Fault injection over a whole run: the example job is run once per system
// call it makes, with that call failing. Every run must end with a diagnostic
// and the status of its message (or succeed, for an interrupted call that is
// retried), and "output.txt" must hold whole records of the right output.
#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "app/process.h"
#include "runtime/platform/fault.h"
#include "runtime/platform/thread.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

constexpr uint64_t kMaxCalls = 4096;

// Shared with the child: the kinds of the calls the run makes.
struct Trace {
  uint64_t length;
  Sys::CallKind kinds[kMaxCalls];
};

Trace* SharedTrace() {
  void* p = mmap(nullptr, sizeof(Trace), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  return p == MAP_FAILED ? nullptr : static_cast<Trace*>(p);
}

void PrepareJob(const TempDir& dir) {
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
}

// The error an injected failure of this kind of call gets.
int ErrorFor(Sys::CallKind kind) {
  switch (kind) {
    case Sys::kCallOpen: return EACCES;
    case Sys::kCallWrite: return ENOSPC;
    case Sys::kCallAlloc: return ENOMEM;
    default: return EIO;
  }
}

const testsupport::Env kQuiet = {{"VELD_DISABLE_STACK_TRACE", "1"}};

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    trace_ = SharedTrace();
    ASSERT_NE(trace_, nullptr);
    TempDir dir;
    PrepareJob(dir);
    Trace* trace = trace_;
    auto r = RunInChild(
        dir.path(),
        [trace] {
          Sys::SetCallTrace(trace->kinds, kMaxCalls, &trace->length);
          return ProcessMain();
        },
        kQuiet);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
    ASSERT_GT(trace_->length, 0u);
    ASSERT_LT(trace_->length, kMaxCalls);
  }
  void TearDown() override {
    if (trace_) munmap(trace_, sizeof(Trace));
  }
  Trace* trace_ = nullptr;
};

// "output.txt" holds whole records that begin the expected output.
void ExpectWholeRecords(const std::string& output) {
  EXPECT_EQ(output.size() % 32, 0u) << output;
  EXPECT_EQ(std::string(testsupport::kExampleOutput).substr(0, output.size()), output);
}

TEST_F(Faults, EveryFailingCallEndsWithItsDiagnostic) {
  for (uint64_t i = 1; i <= trace_->length; ++i) {
    const Sys::CallKind kind = trace_->kinds[i - 1];
    SCOPED_TRACE("call " + std::to_string(i) + " of kind " + std::to_string(kind));
    TempDir dir;
    PrepareJob(dir);
    const int error = ErrorFor(kind);
    auto r = RunInChild(
        dir.path(),
        [i, error] {
          Sys::SetFault(i, error);
          return ProcessMain();
        },
        kQuiet);
    ASSERT_FALSE(r.signaled) << r.err;
    ExpectWholeRecords(dir.read("output.txt"));
    if (r.status == 0) {
      // Only a call whose failure changes nothing may pass unnoticed: then
      // the whole output must be there.
      EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
      continue;
    }
    const std::string prefix = "dravel: severe (" + std::to_string(r.status) + "): ";
    EXPECT_NE(r.err.find(prefix), std::string::npos) << r.err;
  }
}

TEST_F(Faults, InterruptedCallsAreRetriedInvisibly) {
  for (uint64_t i = 1; i <= trace_->length; ++i) {
    // Memory requests are not system calls that can be interrupted.
    if (trace_->kinds[i - 1] == Sys::kCallAlloc) continue;
    SCOPED_TRACE("call " + std::to_string(i));
    TempDir dir;
    PrepareJob(dir);
    auto r = RunInChild(
        dir.path(),
        [i] {
          Sys::SetFault(i, EINTR);
          return ProcessMain();
        },
        kQuiet);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
  }
}

TEST(FaultsRead, FailedReadOfTheHistoryEndsTheCountWith39) {
  // A history of several blocks: the reads after the first of
  // "deformacia.txt" fail, once or for good. Either way the count reports
  // error 39 on unit 2 at once (it neither hangs nor counts the failure as a
  // record) and "output.txt" stays empty.
  std::string history;
  for (int i = 0; i < 4000; ++i) history += "0.001\n";
  for (bool persistent : {false, true}) {
    SCOPED_TRACE(persistent);
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("deformacia.txt", history);
    auto r = RunInChild(
        dir.path(),
        [persistent] {
          // Read 1 takes all of "input.txt", read 2 the first block of the history.
          Sys::SetFault(3, EIO, Sys::kCallRead, persistent);
          return ProcessMain();
        },
        kQuiet);
    EXPECT_EQ(r.status, 39) << r.err;
    EXPECT_NE(r.err.find("unit 2, file " + dir.file("deformacia.txt")), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("output.txt"), "");
  }
}

// A closed standard descriptor whose null device cannot be opened ends the
// run before any file is connected: no file takes the descriptor's place.
TEST(FaultsStart, NullDeviceThatCannotBeOpenedEndsWith30) {
  struct Case {
    int fd;
    const char* unit;  // the preconnected unit of the descriptor
  };
  for (const Case c : {Case{0, "5"}, Case{1, "6"}, Case{2, "0"}}) {
    SCOPED_TRACE(c.fd);
    TempDir dir;
    PrepareJob(dir);
    const int fd = c.fd;
    auto r = RunInChild(
        dir.path(),
        [fd] {
          ::close(fd);
          Sys::SetFault(1, EMFILE, Sys::kCallOpen);
          return ProcessMain();
        },
        kQuiet);
    EXPECT_EQ(r.status, 30) << r.err;
    if (c.fd != 2) {
      EXPECT_EQ(r.err, std::string("dravel: severe (30): open failure, unit ") + c.unit +
                           ", file /dev/null\r\n");
    }
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("input.txt"), testsupport::kExampleInput);
    EXPECT_EQ(dir.read("deformacia.txt"), testsupport::kExampleHistory);
    EXPECT_FALSE(dir.exists("output.txt"));
  }
}

// A long run on two threads against the same run on one thread
// (HYSTERESIS_THREADS=1), buffered (the worker steps, either thread forms)
// and with a write per record (the worker steps, the main thread forms): with one of its
// last writes failing (the last one is the close's, or the time record's)
// both end with the same status and diagnostic and leave the same records.
TEST(FaultsTwoThreads, AWriteFailureNearTheEndGivesWhatOneThreadGives) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  std::string history;
  for (int i = 0; i < 200000; ++i) history += std::to_string((i * 7919) % 2001 - 1000) + "e-3\n";
  dir.write("deformacia.txt", history);
  // The calls of a kind that a whole run makes, counted by a plan that
  // never fires.
  auto* calls = static_cast<uint64_t*>(
      mmap(nullptr, sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(calls, MAP_FAILED);
  auto count = [&](Sys::CallKind kind, const testsupport::Env& env) {
    auto r = RunInChild(
        dir.path(),
        [calls, kind] {
          Sys::SetFault(UINT64_MAX, EIO, kind);
          const int status = ProcessMain();
          *calls = Sys::CallCount();
          return status;
        },
        env);
    EXPECT_EQ(r.status, 0) << r.err;
    return *calls;
  };
  for (const char* buffered : {"yes", "no"}) {
    SCOPED_TRACE(buffered);
    const testsupport::Env two = {{"VELD_DISABLE_STACK_TRACE", "1"}, {"VELD_BUFFERED", buffered}};
    testsupport::Env one = two;
    one.push_back({"HYSTERESIS_THREADS", "1"});
    const uint64_t total = count(Sys::kCallWrite, two);
    const std::string whole = dir.read("output.txt");
    ASSERT_EQ(whole.size(), 200000u * 32);
    ASSERT_GT(total, 100u);
    // Two threads run where they can: the processor count, the start and
    // the join of the worker are the calls that one thread does not make.
    const uint64_t others = count(Sys::kCallOther, two);
    if (Sys::UsableProcessors() >= 2) {
      EXPECT_EQ(others, count(Sys::kCallOther, one) + 3);
    }
    // Each of those calls failing in turn (a worker that cannot start among
    // them): the run takes one thread, or ends with its diagnostic.
    for (uint64_t nth = 1; nth <= others; ++nth) {
      SCOPED_TRACE(nth);
      std::remove(dir.file("output.txt").c_str());
      auto r = RunInChild(
          dir.path(),
          [nth] {
            Sys::SetFault(nth, EAGAIN, Sys::kCallOther);
            return ProcessMain();
          },
          two);
      if (r.status == 0) {
        EXPECT_TRUE(dir.read("output.txt") == whole);
      } else {
        EXPECT_NE(r.err.find("dravel: severe"), std::string::npos) << r.err;
      }
    }
    for (uint64_t nth : {total - 4, total - 2, total - 1}) {
      SCOPED_TRACE(nth);
      std::string outputs[2];
      testsupport::RunResult results[2];
      for (int threads : {1, 2}) {
        std::remove(dir.file("output.txt").c_str());
        results[threads - 1] = RunInChild(
            dir.path(),
            [nth] {
              Sys::SetFault(nth, ENOSPC, Sys::kCallWrite);
              return ProcessMain();
            },
            threads == 1 ? one : two);
        outputs[threads - 1] = dir.read("output.txt");
      }
      EXPECT_EQ(results[1].status, results[0].status);
      EXPECT_NE(results[0].status, 0);
      EXPECT_EQ(results[1].err, results[0].err);
      EXPECT_EQ(results[1].out, results[0].out);
      EXPECT_EQ(outputs[1].size(), outputs[0].size());
      EXPECT_TRUE(outputs[1] == outputs[0]);
      EXPECT_EQ(whole.compare(0, outputs[1].size(), outputs[1]), 0);
    }
  }
  munmap(calls, sizeof(uint64_t));
}

// The worker steps the history while it is read. Long histories whose read
// fails near its end, ends early at a slash (the entries after it keep their
// values) or takes repeat counts give on two threads what they give on one:
// the same status, messages and records.
TEST(FaultsTwoThreads, HistoriesReadWhileSteppedGiveWhatOneThreadGives) {
  struct Case {
    const char* name;
    const char* at_end;  // the text of the last 100 lines
    int status;
  };
  const Case cases[] = {
      {"bad value", "1.5e-3\nx\n", 59},
      {"slash", "/\n", 0},
      {"repeat counts", "3*2e-3\n", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    std::string history;
    for (int i = 0; i < 300000; ++i)
      history += std::to_string(i % 2001 * 7919 % 2001 - 1000) + "e-3\n";
    for (int i = 0; i < 100; ++i) history += c.at_end;
    dir.write("deformacia.txt", history);
    std::string outputs[2];
    testsupport::RunResult results[2];
    for (const char* buffered : {"yes", "no"}) {
      SCOPED_TRACE(buffered);
      for (int threads : {1, 2}) {
        testsupport::Env env = {{"VELD_DISABLE_STACK_TRACE", "1"}, {"VELD_BUFFERED", buffered}};
        if (threads == 1) env.push_back({"HYSTERESIS_THREADS", "1"});
        std::remove(dir.file("output.txt").c_str());
        results[threads - 1] = testsupport::RunProgram({HYSTERESIS_BINARY}, dir.path(), env);
        outputs[threads - 1] = dir.read("output.txt");
      }
      EXPECT_EQ(results[0].status, c.status) << results[0].err;
      EXPECT_EQ(results[1].status, results[0].status);
      EXPECT_EQ(results[1].err, results[0].err);
      EXPECT_EQ(outputs[1].size(), outputs[0].size());
      EXPECT_TRUE(outputs[1] == outputs[0]);
      if (c.status != 0) {
        EXPECT_EQ(outputs[1], "");
      }
    }
  }
}

TEST(FaultsMemory, HistoryThatCannotBeAllocatedEndsWith41) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  std::string history;
  for (int i = 0; i < 3000000; ++i) history += "1\n";
  dir.write("deformacia.txt", history);
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "address-space limits do not combine with the address sanitizer";
#endif
  // 3 million entries need two arrays of 12 MB; 20 MB of address space is
  // enough for a small job but not for both arrays.
  const std::vector<std::string> limited = {
      "/bin/sh", "-c", std::string("ulimit -v 20000; exec ") + HYSTERESIS_BINARY};
  TempDir small;
  small.write("input.txt", testsupport::kExampleInput);
  small.write("deformacia.txt", testsupport::kExampleHistory);
  ASSERT_EQ(testsupport::RunProgram(limited, small.path(), kQuiet).status, 0);
  auto r = testsupport::RunProgram(limited, dir.path(), kQuiet);
  EXPECT_EQ(r.status, 41) << r.err;
  EXPECT_EQ(r.err, "dravel: severe (41): insufficient virtual memory\r\n");
}

}  // namespace

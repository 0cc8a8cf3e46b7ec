// Tests of the diagnostics: reports and their switches, message texts, exit
// processing, exceptions and console events. Anything that may end the process runs in a child.
#include "runtime/diagnostics.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cfenv>
#include <cstring>
#include <string>

#include "runtime/events.h"
#include "runtime/items.h"
#include "runtime/traceback.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "runtime/platform/escape.h"
#include "runtime/platform/fault.h"
#include "runtime/platform/file.h"
#include "runtime/platform/signals.h"
#include "support/run.h"

namespace {

using testsupport::Env;
using testsupport::RunInChild;
using testsupport::RunResult;
using testsupport::TempDir;

const char kHeader[] =
    "Image              PC        Routine            Line        Source             \n";

std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n') + 1); }

bool HasTraceback(const std::string& err) { return err.find(kHeader) != std::string::npos; }

// True when some line is a frame row: a 17-column image name, the address in
// at least 8 upper-case hex digits, then "Unknown" for routine, line, source.
bool HasFrameRow(const std::string& err) {
  const std::string tail = "  Unknown" + std::string(15, ' ') + "Unknown  Unknown";
  size_t start = 0;
  while (start < err.size()) {
    size_t end = err.find('\n', start);
    if (end == std::string::npos) end = err.size();
    std::string line = err.substr(start, end - start);
    start = end + 1;
    if (line.size() < 19 + 8 + tail.size() || line.compare(17, 2, "  ") != 0) continue;
    size_t hex_end = line.find(' ', 19);
    if (hex_end == std::string::npos || hex_end - 19 < 8) continue;
    bool hex = true;
    for (size_t i = 19; i < hex_end; ++i)
      hex = hex && ((line[i] >= '0' && line[i] <= '9') || (line[i] >= 'A' && line[i] <= 'F'));
    if (hex && line.substr(hex_end) == tail) return true;
  }
  return false;
}

// A severe report of row 24 for unit 1 and file "f.txt", with a context.
int ReportSevere24() {
  Traceback::CreateContext();
  ReportMessage(24, {1, "f.txt"});
  return 99;  // not reached
}

TEST(ReportMessage, SevereLineTracebackAndExitStatus) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), ReportSevere24);
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(FirstLine(r.err),
            "dravel: severe (24): end-of-file during read, unit 1, file f.txt\r\n");
  EXPECT_EQ(r.err.substr(FirstLine(r.err).size(), sizeof kHeader - 1), kHeader);
  EXPECT_TRUE(HasFrameRow(r.err)) << r.err;
}

TEST(ReportMessage, NoTracebackWithoutContext) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    ReportMessage(41);
    return 99;
  });
  EXPECT_EQ(r.status, 41);
  EXPECT_EQ(r.err, "dravel: severe (41): insufficient virtual memory\r\n");
}

TEST(ReportMessage, VerboseTracebackSwitches) {
  const char kIntro[] = "\n\nTraceback symbolic or hex stack dump follows:\n\n";
  const char kFrame0[] =
      "--------- Frame # 0 ---------------------------------------\nImage:       ";
  for (const char* name : {"TBK_ENABLE_VERBOSE_STACK_TRACE", "VELD_ENABLE_VERBOSE_STACK_TRACE"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), ReportSevere24, {{name, "yes"}});
    EXPECT_EQ(r.status, 24);
    std::string line = FirstLine(r.err);
    EXPECT_EQ(r.err.compare(line.size(), sizeof kIntro - 1, kIntro), 0) << r.err;
    EXPECT_EQ(r.err.compare(line.size() + sizeof kIntro - 1, sizeof kFrame0 - 1, kFrame0), 0);
    EXPECT_FALSE(HasTraceback(r.err));
  }
}

// A claim on the ending left by the parent of a forked child does not stop
// the child's own report.
TEST(ReportMessage, ParentsClaimDoesNotBindAForkedChild) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [&] {
    if (!ClaimProcessEnd()) return 1;
    RunResult inner = RunInChild(dir.path(), [] {
      ReportMessage(41);
      return 99;
    });
    return inner.status == 41 ? 0 : 2;
  });
  EXPECT_EQ(r.status, 0);
}

// Rows below severe return; error severity carries a traceback, the others
// do not.
TEST(ReportMessage, LowerSeveritiesReturn) {
  struct Case {
    unsigned number;
    std::initializer_list<MsgArg> args;
    const char* line;
    bool traceback;
  };
  const Case cases[] = {
      {200,
       {"control-C"},
       "dravel: error (200): program aborting due to control-C event\r\n",
       true},
      {96,
       {"VELD_FMT_TERMINATOR"},
       "dravel: warning (96): VELD_FMT_TERMINATOR environment variable has erroneous syntax and is "
       "ignored\r\n",
       false},
      {297, {3}, "dravel: info (297): 3 floating invalid traps\r\n", false},
      {455, {}, "dravel: dravel\r\n", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), [&] {
      Traceback::CreateContext();
      return ReportMessage(c.number, c.args) == static_cast<int>(c.number) ? 0 : 1;
    });
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(FirstLine(r.err), c.line);
    EXPECT_EQ(HasTraceback(r.err), c.traceback);
  }
}

TEST(ReportMessage, UnknownNumbersAndPlainTexts) {
  struct Case {
    unsigned number;
    bool with_args;
    const char* err;
    int status;
  };
  const Case cases[] = {
      {12345, false, "dravel: severe (12345): Message not found\n\r\n", 12345 % 256},
      {65536 + 41, false, "dravel: severe (65577): insufficient virtual memory\r\n",
       (65536 + 41) % 256},
      {24, false, "dravel: severe (24): end-of-file during read, unit %d, file %s\r\n", 24},
      {8, true, "dravel: severe (8): internal consistency check failure, file x.cpp, line 12\r\n",
       8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), [&] {
      if (c.with_args) ReportMessage(c.number, {"x.cpp", 12});
      else ReportMessage(c.number);
      return 99;
    });
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(ReportMessage, LogFileAppendsAndDisplaySwitch) {
  for (bool display_off : {false, true}) {
    SCOPED_TRACE(display_off);
    TempDir dir;
    dir.write("diag.log", "earlier\n");
    Env env = {{"VELD_DIAGNOSTIC_LOG_FILE", dir.file("diag.log")}};
    if (display_off) env.push_back({"VELD_DISABLE_DIAGNOSTIC_DISPLAY", "yes"});
    RunResult r = RunInChild(
        dir.path(),
        [] {
          ReportMessage(296, {5});
          ReportMessage(41);
          return 99;
        },
        env);
    EXPECT_EQ(r.status, 41);
    const std::string both =
        "dravel: info (296): 5 floating inexact traps\r\n"
        "dravel: severe (41): insufficient virtual memory\r\n";
    EXPECT_EQ(dir.read("diag.log"), "earlier\n" + both);
    EXPECT_EQ(r.err, display_off ? "" : both);
  }
}

TEST(ReportMessage, DumpFlagsAbort) {
  for (const char* flag : {"veld77_dump_flag", "legacyveld_dump_flag"}) {
    SCOPED_TRACE(flag);
    TempDir dir;
    RunResult r = RunInChild(dir.path(),
                             [] {
                               ReportMessage(41);
                               return 99;
                             },
                             {{flag, "1"}});
    EXPECT_TRUE(r.signaled);
    EXPECT_EQ(r.signal, SIGABRT);
    EXPECT_EQ(r.err, "dravel: severe (41): insufficient virtual memory\r\n");
  }
}

TEST(ReportMessage, ClaimedDebuggerDoesNotStopTheReport) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(),
                           [] {
                             ReportMessage(200, {"control-C"});
                             ReportMessage(41);
                             return 99;
                           },
                           {{"VELD__IS_DEBUGGER_PRESENT", "1"}});
  EXPECT_EQ(r.status, 41);
}

// Without the report buffer the line is written alone; a text too long for
// the smaller buffer gives row 502 instead.
TEST(ReportMessage, WithoutReportBuffer) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    Traceback::CreateContext();
    Sys::SetFault(1, ENOMEM, Sys::kCallAlloc);
    ReportMessage(24, {1, "f.txt"});
    return 99;
  });
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err, "dravel: severe (24): end-of-file during read, unit 1, file f.txt\r\n");

  r = RunInChild(dir.path(), [] {
    Sys::SetFault(1, ENOMEM, Sys::kCallAlloc);
    ReportMessage(24, {1, std::string(600, 'n').c_str()});
    return 99;
  });
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err,
            "dravel: severe (502): insufficient memory to write the diagnostic of message 24\r\n");
}

// --- MessageText, ExitProcessing -------------------------------------------

TEST(MessageText, FormatsWithoutPrefixAndCutsAt255) {
  EXPECT_STREQ(MessageText(29, {3, "/x/o.txt"}), "file not found, unit 3, file /x/o.txt");
  EXPECT_STREQ(MessageText(9999), "Message not found\n");
  std::string long_name(400, 'a');
  EXPECT_EQ(std::strlen(MessageText(29, {3, long_name.c_str()})), 255u);
}

TEST(ExitProcessing, RunsOnceAndReturnsTheStoredStatus) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    SetStoredExitStatus(73);
    int first = ExitProcessing();
    int second = ExitProcessing();
    return first == 73 && second == 73 ? 0 : 1;
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
}

TEST(ExitProcessing, ReportsTrapCountsInOrder) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    SetFloatTrapCounting(0x1F00);
    for (unsigned row : {140u, 65u, 73u, 72u, 74u, 74u}) CountFloatTrap(row);
    return ExitProcessing();
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err,
            "dravel: info (300): 2 floating underflow traps\r\n"
            "dravel: info (298): 1 floating overflow traps\r\n"
            "dravel: info (299): 1 floating divide-by-zero traps\r\n"
            "dravel: info (297): 1 floating invalid traps\r\n"
            "dravel: info (296): 1 floating inexact traps\r\n");
  EXPECT_FALSE(CountFloatTrap(65));  // counting is off in this process
}

// --- Processor exceptions ----------------------------------------------------

[[gnu::noinline]] int Recurse(volatile int* depth) {
  if (*depth < 0) return 0;  // never: keeps the recursion unbounded but not obviously so
  volatile char pad[256];
  pad[0] = static_cast<char>(*depth);
  *depth = *depth + 1;
  return Recurse(depth) + pad[0];
}

int FaultBody(int which) {
  InstallExceptionHandling();
  volatile int zero = 0;
  volatile int* null = nullptr;
  volatile int depth = 0;
  switch (which) {
    case 157: *null = 1; break;
    case 164: return 10 / zero;
    case 168: __builtin_trap();
    case 170: return Recurse(&depth);
    case 158: raise(SIGBUS); break;
    case 159: raise(SIGTRAP); break;
    case 172: raise(SIGSYS); break;
  }
  return 98;
}

TEST(Exceptions, SevereRowsEndTheRunWithTraceback) {
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "the sanitizer runtime owns the fault signals";
#endif
  struct Case {
    int which;
    const char* line;
  };
  const Case cases[] = {
    {157, "dravel: severe (157): Program Exception - access violation\r\n"},
#if defined(__x86_64__) || defined(__i386__)
    {164, "dravel: severe (164): Program Exception - integer divide by zero\r\n"},
#endif
    {168, "dravel: severe (168): Program Exception - illegal instruction\r\n"},
    {170, "dravel: severe (170): Program Exception - stack overflow\r\n"},
    {158, "dravel: severe (158): Program Exception - datatype misalignment\r\n"},
    {159, "dravel: severe (159): Program Exception - breakpoint\r\n"},
    {172, "dravel: severe (172): Program Exception - exception code = 0x1f (31)\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.which);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), [&] { return FaultBody(c.which); });
    EXPECT_EQ(r.status, c.which);
    EXPECT_EQ(FirstLine(r.err), c.line);
    EXPECT_TRUE(HasTraceback(r.err)) << r.err;
  }
}

TEST(Exceptions, IgnoreSwitchLeavesTheDefaultAction) {
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "the sanitizer runtime owns the fault signals";
#endif
  TempDir dir;
  RunResult r =
      RunInChild(dir.path(), [] { return FaultBody(157); }, {{"VELD_IGNORE_EXCEPTIONS", "1"}});
  EXPECT_TRUE(r.signaled);
  EXPECT_EQ(r.signal, SIGSEGV);
  EXPECT_EQ(r.err, "");
}

#if defined(__x86_64__) || defined(__i386__)
// An unmasked floating trap abandons the escapable body; the row becomes the
// stored exit status.
TEST(Exceptions, FloatingRowEscapesTheBody) {
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "the sanitizer runtime owns the fault signals";
#endif
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    InstallExceptionHandling();
    int escaped = Sys::RunEscapable([] {
      feenableexcept(FE_DIVBYZERO);
      volatile float zero = 0.0f;
      volatile float x = 1.0f / zero;
      (void)x;
    });
    fedisableexcept(FE_ALL_EXCEPT);
    return escaped == 73 && StoredExitStatus() == 73 ? ExitProcessing() : 1;
  });
  EXPECT_EQ(r.status, 73);
  EXPECT_EQ(FirstLine(r.err), "dravel: error (73): floating divide by zero\r\n");
  EXPECT_TRUE(HasTraceback(r.err));
}
#endif

TEST(Exceptions, RowsByKind) {
  struct Case {
    int kind;
    int detail;
    bool overflow;
    unsigned row;
  };
  const Case cases[] = {
      {Sys::kFaultSegment, Sys::kDetailNone, false, 157},
      {Sys::kFaultSegment, Sys::kDetailNone, true, 170},
      {Sys::kFaultIllegal, Sys::kDetailPrivileged, false, 166},
      {Sys::kFaultBreakpoint, Sys::kDetailTrace, false, 160},
      {Sys::kFaultArithmetic, Sys::kDetailIntOverflow, false, 165},
      {Sys::kFaultArithmetic, Sys::kDetailFloatInexact, false, 140},
      {Sys::kFaultArithmetic, Sys::kDetailFloatInvalid, false, 65},
      {Sys::kFaultArithmetic, Sys::kDetailFloatOverflow, false, 72},
      {Sys::kFaultArithmetic, Sys::kDetailFloatUnderflow, false, 74},
      {Sys::kFaultArithmetic, Sys::kDetailFloatSubscript, false, 161},
      {Sys::kFaultArithmetic, Sys::kDetailNone, false, 172},
      {Sys::kFaultOtherSignal, Sys::kDetailNone, false, 172},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.row);
    EXPECT_EQ(ExceptionRow(c.kind, c.detail, c.overflow), c.row);
  }
}

// --- Console events ----------------------------------------------------------

TEST(ConsoleEvents, EachEventReportsAndEndsWithItsStatus) {
  struct Case {
    int signal;
    const char* word;
    int status;
  };
  const Case cases[] = {
      {SIGINT, "control-C", 130}, {SIGQUIT, "control-BREAK", 1}, {SIGHUP, "window-CLOSE", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    TempDir dir;
    RunResult r = RunInChild(dir.path(), [&] {
      InstallExceptionHandling();
      InstallConsoleEventHandling();
      alarm(60);  // a safety net: a lost event must not hang the suite
      kill(getpid(), c.signal);
      for (;;) pause();
      return 99;
    });
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(FirstLine(r.err),
              std::string("dravel: error (200): program aborting due to ") + c.word + " event\r\n");
    EXPECT_TRUE(HasTraceback(r.err));
  }
}

// An event that arrives in the middle of a statement waits for its end: the
// statement finishes, then the run ends with the record in the file (held
// output of a buffered unit included).
TEST(ConsoleEvents, EventInsideStatementWaitsForItsEnd) {
  for (const char* buffered : {"no", "yes"}) {
    SCOPED_TRACE(buffered);
    TempDir dir;
    RunResult r = RunInChild(
        dir.path(),
        [buffered] {
          InstallExceptionHandling();
          InstallConsoleEventHandling();
          InstallStatementHooks();  // the exit processing closes the units
          alarm(60);
          if (ConnectNamedFile(7, 0, "out.txt", 7) != 0) return 97;
          UnitBlock* u = nullptr;
          if (AcquireUnit(7, &u) != 0) return 98;
          if (((u->flags & kUnitBuffered) != 0) != (buffered[0] == 'y')) return 93;
          kill(getpid(), SIGINT);  // delivered before kill returns
          std::memcpy(u->buffer, "whole", 5);
          if (PutRecord(u, u->buffer, 5) != 0) return 96;
          if (write(1, "after\n", 6) != 6) return 95;
          ReleaseUnit(u);  // the event runs here
          if (write(1, "released\n", 9) != 9) return 94;
          return 99;
        },
        Env{{"VELD_BUFFERED", buffered}});
    EXPECT_EQ(r.status, 130);
    EXPECT_EQ(r.out, "after\n");
    EXPECT_EQ(FirstLine(r.err), "dravel: error (200): program aborting due to control-C event\r\n");
    EXPECT_EQ(dir.read("out.txt"), "whole\r\n");
  }
}

// An ignored interrupt stays ignored: the quit sent after it is the one
// that ends the run.
TEST(ConsoleEvents, IgnoredSignalStaysIgnored) {
  TempDir dir;
  RunResult r = RunInChild(dir.path(), [] {
    signal(SIGINT, SIG_IGN);
    InstallConsoleEventHandling();
    alarm(60);
    kill(getpid(), SIGINT);
    kill(getpid(), SIGQUIT);
    for (;;) pause();
    return 99;
  });
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("control-BREAK"), std::string::npos);
}

}  // namespace

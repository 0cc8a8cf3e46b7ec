// End-to-end tests of the diagnostics: the built program in a fresh
// directory, its severe reports and switches, and the console events during
// a long run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "runtime/diagnostics.h"
#include "runtime/traceback.h"
#include "support/run.h"

namespace {

using testsupport::Env;
using testsupport::RunHysteresis;
using testsupport::RunResult;
using testsupport::TempDir;

const char kHeader[] =
    "Image              PC        Routine            Line        Source             \n";

// An input whose group is missing: records follow the one holding N.
const char kNoGroupInput[] = "2\n\nno group in this file\n";

std::string FirstLine(const std::string& s) { return s.substr(0, s.find('\n') + 1); }

std::string AbsoluteName(const TempDir& dir, const char* name) {
  return std::filesystem::canonical(dir.path()).string() + "/" + name;
}

// True when the text after the first line starts with the traceback header
// and has at least one row of this program with "Unknown" three times.
bool TracebackFollows(const std::string& err) {
  std::string rest = err.substr(FirstLine(err).size());
  if (rest.compare(0, sizeof kHeader - 1, kHeader) != 0) return false;
  std::string row_tail = "  Unknown" + std::string(15, ' ') + "Unknown  Unknown\n";
  size_t at = rest.find("\nhysteresis       ");
  if (at == std::string::npos) return false;
  size_t end = rest.find('\n', at + 1);
  std::string row = rest.substr(at + 1, end - at);
  size_t hex_end = row.find(' ', 19);
  return hex_end != std::string::npos && hex_end - 19 >= 8 && row.substr(hex_end) == row_tail;
}

void WriteNoGroupJob(const TempDir& dir) {
  dir.write("input.txt", kNoGroupInput);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
}

TEST(DiagnosticsEndToEnd, MissingGroupGives24WithPositionAndTraceback) {
  TempDir dir;
  WriteNoGroupJob(dir);
  RunResult r = RunHysteresis(dir.path());
  EXPECT_EQ(r.status, 24);
  std::string prefix = "dravel: severe (24): end-of-file during read, unit 1, file " +
                       AbsoluteName(dir, "input.txt") + ", line ";
  std::string line = FirstLine(r.err);
  EXPECT_EQ(line.compare(0, prefix.size(), prefix), 0) << line;
  EXPECT_NE(line.find(", position "), std::string::npos) << line;
  EXPECT_EQ(line.substr(line.size() - 2), "\r\n");
  EXPECT_TRUE(TracebackFollows(r.err)) << r.err;
  EXPECT_EQ(r.out, "");
}

TEST(DiagnosticsEndToEnd, DisableStackTraceSwitch) {
  struct Case {
    const char* value;
    bool traceback;
  };
  const Case cases[] = {{"1", false}, {"true", false}, {"yes", false}, {"0", true}, {"no", true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TempDir dir;
    WriteNoGroupJob(dir);
    RunResult r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", c.value}});
    EXPECT_EQ(r.status, 24);
    if (c.traceback) {
      EXPECT_TRUE(TracebackFollows(r.err)) << r.err;
    } else {
      EXPECT_EQ(r.err, FirstLine(r.err));
    }
  }
}

TEST(DiagnosticsEndToEnd, LogFileIsAppendedAndDisplaySwitchSilencesTheConsole) {
  TempDir dir;
  WriteNoGroupJob(dir);
  dir.write("diag.log", "before\n");
  Env env = {{"VELD_DIAGNOSTIC_LOG_FILE", "diag.log"}};
  RunResult first = RunHysteresis(dir.path(), env);
  EXPECT_EQ(first.status, 24);
  EXPECT_TRUE(TracebackFollows(first.err));
  EXPECT_EQ(dir.read("diag.log"), "before\n" + first.err);

  env.push_back({"VELD_DISABLE_DIAGNOSTIC_DISPLAY", "1"});
  RunResult second = RunHysteresis(dir.path(), env);
  EXPECT_EQ(second.status, 24);
  EXPECT_EQ(second.err, "");
  std::string log = dir.read("diag.log");
  ASSERT_GT(log.size(), 7 + first.err.size());
  std::string appended = log.substr(7 + first.err.size());
  EXPECT_EQ(FirstLine(appended), FirstLine(first.err));
  EXPECT_TRUE(TracebackFollows(appended));
}

TEST(DiagnosticsEndToEnd, Veld0RedirectsTheDiagnosticsToAFile) {
  TempDir dir;
  WriteNoGroupJob(dir);
  dir.write("errors.txt", "old\n");
  RunResult r = RunHysteresis(dir.path(), {{"VELD0", "errors.txt"}});
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err, "");
  std::string file = dir.read("errors.txt");
  ASSERT_EQ(file.compare(0, 4, "old\n"), 0);
  EXPECT_EQ(file.compare(4, 21, "dravel: severe (24): "), 0) << file;
  EXPECT_TRUE(TracebackFollows(file.substr(4)));
}

// A report whose traceback runs past 16,384 bytes is cut at that size.
[[gnu::noinline]] int DeepReport(volatile int* depth) {
  volatile char pad[64];
  pad[0] = 1;
  if (*depth > 0) {
    *depth = *depth - 1;
    return DeepReport(depth) + pad[0];
  }
  ReportMessage(24, {1, "input.txt"});
  return 0;
}

TEST(DiagnosticsEndToEnd, ReportIsCutAt16384Bytes) {
  TempDir dir;
  RunResult r = testsupport::RunInChild(dir.path(), [] {
    Traceback::CreateContext();
    volatile int depth = 600;
    return DeepReport(&depth);
  });
  EXPECT_EQ(r.status, 24);
  EXPECT_EQ(r.err.size(), 16384u);
  EXPECT_EQ(FirstLine(r.err),
            "dravel: severe (24): end-of-file during read, unit 1, file input.txt\r\n");
}

// --- Console events during a run ----------------------------------------------

// A started program: its process id and the files that catch its output.
struct Started {
  pid_t pid = -1;
  std::string out_path;
  std::string err_path;
};

Started StartHysteresis(const TempDir& dir, const TempDir& capture,
                        const testsupport::Env& env = {}) {
  Started s;
  s.out_path = capture.file("stdout");
  s.err_path = capture.file("stderr");
  s.pid = fork();
  if (s.pid == 0) {
    int out = open(s.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err = open(s.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int in = open("/dev/null", O_RDONLY);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    if (chdir(dir.path().c_str()) != 0) _exit(250);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    // The run must see the console signals at their default disposition.
    signal(SIGINT, SIG_DFL);
    signal(SIGQUIT, SIG_DFL);
    signal(SIGHUP, SIG_DFL);
    execl(HYSTERESIS_BINARY, HYSTERESIS_BINARY, static_cast<char*>(nullptr));
    _exit(252);
  }
  return s;
}

off_t FileSize(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? st.st_size : -1;
}

// Waits until output.txt holds at least `bytes` bytes or the program ended.
// Returns false when it ended first.
bool WaitForOutput(const TempDir& dir, pid_t pid, off_t bytes) {
  for (int i = 0; i < 120000; ++i) {
    if (FileSize(dir.file("output.txt")) >= bytes) return true;
    int st;
    if (waitpid(pid, &st, WNOHANG) == pid) return false;
    usleep(1000);
  }
  return false;
}

int WaitStatus(pid_t pid) {
  int st = 0;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {}
  return WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
}

// A history long enough that the run is still writing when the event comes.
void WriteLongJob(const TempDir& dir) {
  dir.write("input.txt", testsupport::kExampleInput);
  std::string history;
  for (int i = 0; i < 3000000; ++i) history += (i % 4 == 0) ? "5\n" : (i % 4 == 2 ? "-5\n" : "0\n");
  dir.write("deformacia.txt", history);
}

// Every 32-byte record of output.txt is whole: two fields, CR LF at its end.
void ExpectWholeRecords(const std::string& out) {
  ASSERT_EQ(out.size() % 32, 0u);
  for (size_t at = 0; at < out.size(); at += 32) {
    ASSERT_EQ(out.compare(at + 30, 2, "\r\n"), 0) << "record at " << at;
    ASSERT_EQ(out.substr(at, 30).find_first_of("\r\n"), std::string::npos) << "record at " << at;
  }
}

TEST(DiagnosticsEndToEnd, ControlCDuringTheRunEndsWith130) {
  TempDir dir, capture;
  WriteLongJob(dir);
  Started s = StartHysteresis(dir, capture);
  bool running = WaitForOutput(dir, s.pid, 32 * 1000);
  if (running) kill(s.pid, SIGINT);
  int status = WaitStatus(s.pid);
  ASSERT_TRUE(running) << "the run ended before it could be interrupted";
  EXPECT_EQ(status, 130);
  std::string err = testsupport::ReadFile(s.err_path);
  EXPECT_EQ(FirstLine(err), "dravel: error (200): program aborting due to control-C event\r\n");
  EXPECT_TRUE(TracebackFollows(err)) << err;
  ExpectWholeRecords(dir.read("output.txt"));
  EXPECT_EQ(testsupport::ReadFile(s.out_path), "");
}

// The same with the buffered output stepped and formed on two threads: the
// event reaches the main thread, which ends the run at once while it steps
// or waits, or after the statement in progress while it writes; the held
// output then reaches the file in whole records.
TEST(DiagnosticsEndToEnd, ControlCDuringATwoThreadRunEndsWith130) {
  TempDir dir, capture;
  WriteLongJob(dir);
  Started s = StartHysteresis(dir, capture, {{"VELD_BUFFERED", "yes"}});
  bool running = WaitForOutput(dir, s.pid, 32 * 10000);
  if (running) kill(s.pid, SIGINT);
  int status = WaitStatus(s.pid);
  ASSERT_TRUE(running) << "the run ended before it could be interrupted";
  EXPECT_EQ(status, 130);
  std::string err = testsupport::ReadFile(s.err_path);
  EXPECT_EQ(FirstLine(err), "dravel: error (200): program aborting due to control-C event\r\n");
  const std::string out = dir.read("output.txt");
  ExpectWholeRecords(out);
  EXPECT_GE(out.size(), 32u * 10000);
  EXPECT_LT(out.size(), 32u * 3000000);
  EXPECT_EQ(testsupport::ReadFile(s.out_path), "");
}

// A run waiting for history that never comes (a FIFO nobody writes) is
// still ended by control-C: the interrupted read runs the waiting event.
TEST(DiagnosticsEndToEnd, ControlCEndsARunBlockedInARead) {
  TempDir dir, capture;
  dir.write("input.txt", testsupport::kExampleInput);
  ASSERT_EQ(mkfifo(dir.file("deformacia.txt").c_str(), 0644), 0);
  Started s = StartHysteresis(dir, capture);
  // The report comes from the run-time only once its handlers are in place:
  // keep sending until the run ends (a default disposition would end it too,
  // without the report).
  int status = -1;
  for (int i = 0; i < 200 && status < 0; ++i) {
    usleep(50000);
    if (i >= 4) kill(s.pid, SIGINT);
    int st = 0;
    if (waitpid(s.pid, &st, WNOHANG) == s.pid)
      status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
  }
  if (status < 0) {
    kill(s.pid, SIGKILL);
    WaitStatus(s.pid);
  }
  ASSERT_EQ(status, 130);
  EXPECT_EQ(FirstLine(testsupport::ReadFile(s.err_path)),
            "dravel: error (200): program aborting due to control-C event\r\n");
}

TEST(DiagnosticsEndToEnd, HangUpEndsWith2) {
  TempDir dir, capture;
  WriteLongJob(dir);
  Started s = StartHysteresis(dir, capture);
  bool running = WaitForOutput(dir, s.pid, 32);
  if (running) kill(s.pid, SIGHUP);
  int status = WaitStatus(s.pid);
  ASSERT_TRUE(running) << "the run ended before the hang-up";
  EXPECT_EQ(status, 2);
  std::string err = testsupport::ReadFile(s.err_path);
  EXPECT_EQ(FirstLine(err), "dravel: error (200): program aborting due to window-CLOSE event\r\n");
  ExpectWholeRecords(dir.read("output.txt"));
}

TEST(DiagnosticsEndToEnd, ControlBreakEndsWith1) {
  TempDir dir, capture;
  WriteLongJob(dir);
  Started s = StartHysteresis(dir, capture);
  bool running = WaitForOutput(dir, s.pid, 32 * 100);
  if (running) kill(s.pid, SIGQUIT);
  int status = WaitStatus(s.pid);
  ASSERT_TRUE(running) << "the run ended before the break";
  EXPECT_EQ(status, 1);
  std::string err = testsupport::ReadFile(s.err_path);
  EXPECT_EQ(FirstLine(err), "dravel: error (200): program aborting due to control-BREAK event\r\n");
  ExpectWholeRecords(dir.read("output.txt"));
}

// A run killed outright gets no report, but what it wrote is whole records,
// written one record or a set of whole records at a time.
TEST(DiagnosticsEndToEnd, KilledRunLeavesWholeRecords) {
  for (const char* buffered : {"no", "yes"}) {
    SCOPED_TRACE(buffered);
    TempDir dir, capture;
    WriteLongJob(dir);
    setenv("VELD_BUFFERED", buffered, 1);
    Started s = StartHysteresis(dir, capture);
    unsetenv("VELD_BUFFERED");
    bool running = WaitForOutput(dir, s.pid, 32 * 1000);
    if (running) kill(s.pid, SIGKILL);
    int status = WaitStatus(s.pid);
    ASSERT_TRUE(running);
    EXPECT_EQ(status, 128 + SIGKILL);
    ExpectWholeRecords(dir.read("output.txt"));
  }
}

// A processor exception from outside (a segment violation sent to the run)
// takes the exception report.
TEST(DiagnosticsEndToEnd, SegmentViolationIsReportedAs157) {
#if defined(HYSTERESIS_SANITIZED)
  GTEST_SKIP() << "the sanitizer runtime owns the fault signals";
#endif
  TempDir dir, capture;
  WriteLongJob(dir);
  Started s = StartHysteresis(dir, capture);
  bool running = WaitForOutput(dir, s.pid, 32);
  if (running) kill(s.pid, SIGSEGV);
  int status = WaitStatus(s.pid);
  ASSERT_TRUE(running);
  EXPECT_EQ(status, 157);
  std::string err = testsupport::ReadFile(s.err_path);
  EXPECT_EQ(FirstLine(err), "dravel: severe (157): Program Exception - access violation\r\n");
  EXPECT_TRUE(TracebackFollows(err)) << err;
  ExpectWholeRecords(dir.read("output.txt"));
}

}  // namespace

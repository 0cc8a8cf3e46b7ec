// End-to-end tests of units and files: the built program run in fresh
// directories with missing, old, read-only and unwritable files and with the
// environment variables of the units.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "app/process.h"
#include "runtime/items.h"
#include "runtime/platform/fault.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"
#include "textin/listreader.h"

namespace {

using testsupport::kExampleHistory;
using testsupport::kExampleInput;
using testsupport::kExampleOutput;
using testsupport::RunHysteresis;
using testsupport::RunResult;
using testsupport::TempDir;

// The first line of standard error.
std::string FirstLine(const std::string& err) { return err.substr(0, err.find('\n')); }

std::string Severe(int number, const std::string& text) {
  return "dravel: severe (" + std::to_string(number) + "): " + text + "\r";
}

// The example output with every CR LF replaced by `end`.
std::string WithLineEnd(const std::string& text, const std::string& end) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, "\r\n") == 0) {
      out += end;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

void WriteExample(const TempDir& dir) {
  dir.write("input.txt", kExampleInput);
  dir.write("deformacia.txt", kExampleHistory);
}

// The console record: " Cas programu:", the time field, " sekund", CR LF.
void ExpectConsoleRecord(const std::string& out, const std::string& end = "\r\n") {
  ASSERT_EQ(36 + end.size(), out.size()) << out;
  EXPECT_EQ(" Cas programu:", out.substr(0, 14));
  EXPECT_EQ(" sekund" + end, out.substr(29));
}

TEST(UnitsE2E, MissingInputIsCreatedEmptyAndEndsWith24OnUnit1) {
  TempDir dir;
  dir.write("output.txt", "old content\r\n");
  RunResult r = RunHysteresis(dir.path());
  EXPECT_EQ(24, r.status);
  EXPECT_EQ(Severe(24, "end-of-file during read, unit 1, file " + dir.file("input.txt")),
            FirstLine(r.err));
  EXPECT_TRUE(dir.exists("input.txt"));
  EXPECT_EQ("", dir.read("input.txt"));
  EXPECT_TRUE(dir.exists("deformacia.txt"));
  EXPECT_EQ("old content\r\n", dir.read("output.txt"));  // nothing written: kept whole
  EXPECT_EQ("", r.out);
}

TEST(UnitsE2E, MissingHistoryIsCreatedEmptyAndEndsWith24OnUnit2) {
  TempDir dir;
  dir.write("input.txt", kExampleInput);
  RunResult r = RunHysteresis(dir.path());
  EXPECT_EQ(24, r.status);
  EXPECT_EQ(Severe(24, "end-of-file during read, unit 2, file " + dir.file("deformacia.txt")),
            FirstLine(r.err));
  EXPECT_TRUE(dir.exists("deformacia.txt"));
  EXPECT_EQ("", dir.read("deformacia.txt"));
  EXPECT_TRUE(dir.exists("output.txt"));
  EXPECT_EQ("", dir.read("output.txt"));  // a missing one is left empty
}

TEST(UnitsE2E, EveryRecordEndsWithCrLf) {
  TempDir dir;
  WriteExample(dir);
  RunResult r = RunHysteresis(dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
  // Standard output is a file here: it gets the console record with CR LF.
  ExpectConsoleRecord(r.out);
}

TEST(UnitsE2E, OldLongerOutputLosesItsTailAtTheFirstRecord) {
  TempDir dir;
  WriteExample(dir);
  dir.write("output.txt", std::string(100000, 'z'));
  RunResult r = RunHysteresis(dir.path());
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
}

TEST(UnitsE2E, OldOutputIsKeptWholeWhenTheInputFails) {
  TempDir dir;
  dir.write("input.txt", "2\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 x 180 /\n");
  dir.write("deformacia.txt", kExampleHistory);
  const std::string old(5000, 'q');
  dir.write("output.txt", old);
  RunResult r = RunHysteresis(dir.path());
  EXPECT_NE(0, r.status);
  EXPECT_EQ(old, dir.read("output.txt"));
}

TEST(UnitsE2E, EnvironmentVariablesThatChangeNoBytes) {
  struct Case {
    const char* what;
    testsupport::Env env;
  } cases[] = {
      {"VELD1 names another file", {{"VELD1", "other.txt"}}},
      {"record length 100", {{"VELD_FMT_RECL", "100"}}},
      {"block size 1000", {{"VELD_BLOCKSIZE", "1000"}}},
      {"buffer count 4", {{"VELD_BUFFERCOUNT", "4"}}},
      {"buffered", {{"VELD_BUFFERED", "true"}}},
      {"buffered with a small buffer", {{"VELD_BUFFERED", "1"}, {"VELD_BLOCKSIZE", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteExample(dir);
    dir.write("output.txt", std::string(3000, 'z'));
    RunResult r = RunHysteresis(dir.path(), c.env);
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
    ExpectConsoleRecord(r.out);
    EXPECT_FALSE(dir.exists("other.txt"));
  }
}

TEST(UnitsE2E, LongHistoryWithBufferedOutputGivesTheSameBytes) {
  std::string history;
  for (int i = 0; i < 3000; ++i) history += std::to_string((i * 37) % 11 - 5) + "\n";
  TempDir plain;
  TempDir buffered;
  for (const TempDir* d : {&plain, &buffered}) {
    d->write("input.txt", kExampleInput);
    d->write("deformacia.txt", history);
  }
  RunResult a = RunHysteresis(plain.path());
  RunResult b = RunHysteresis(buffered.path(), {{"VELD_BUFFERED", "Y"}});
  ASSERT_EQ(0, a.status) << a.err;
  ASSERT_EQ(0, b.status) << b.err;
  EXPECT_EQ(3000u * 32u, plain.read("output.txt").size());
  EXPECT_EQ(plain.read("output.txt"), buffered.read("output.txt"));
}

TEST(UnitsE2E, MalformedSizeVariablesFailTheFirstConnection) {
  struct Case {
    const char* name;
    const char* value;
    int status;
    const char* text;
  } cases[] = {
      {"VELD_FMT_RECL", "-5", 99, "VELD_FMT_RECL environment variable has erroneous syntax"},
      {"VELD_FMT_RECL", "ten", 99, "VELD_FMT_RECL environment variable has erroneous syntax"},
      {"VELD_BUFFERCOUNT", "200", 107,
       "VELD_BUFFERCOUNT environment variable has erroneous syntax"},
      {"VELD_BLOCKSIZE", "1000x", 106, "VELD_BLOCKSIZE environment variable has erroneous syntax"},
      {"VELD_BLOCKSIZE", "2147467265", 106,
       "VELD_BLOCKSIZE environment variable has erroneous syntax"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "=" + c.value);
    TempDir dir;
    WriteExample(dir);
    RunResult r = RunHysteresis(dir.path(), {{c.name, c.value}});
    EXPECT_EQ(c.status, r.status);
    EXPECT_EQ(Severe(c.status, c.text), FirstLine(r.err));
    EXPECT_FALSE(dir.exists("output.txt"));  // the run ended at unit 1
  }
}

TEST(UnitsE2E, PrintVariableSendsTheConsoleRecordToAFile) {
  TempDir dir;
  WriteExample(dir);
  dir.write("console.txt", std::string(200, 'o'));
  RunResult r = RunHysteresis(dir.path(), {{"VELD_PRINT", "console.txt"}});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.out);
  ExpectConsoleRecord(dir.read("console.txt"));
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
}

TEST(UnitsE2E, TerminatorVariable) {
  struct Case {
    const char* value;
    std::string output_end;
    std::string console_end;
    std::string input_end;  // the input units end their records the same way
  } cases[] = {
      {"LF", "\n", "\n", "\n"},          {"CR", "\r", "\r", "\r"},
      {"CRLF;LF:3", "\n", "\r\n", "\n"}, {"LF:1,2,3", "\n", "\r\n", "\n"},
      {"CR:1,2", "\r\n", "\r\n", "\r"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    TempDir dir;
    auto ends = [&](std::string text) {
      for (char& ch : text)
        if (ch == '\n') ch = c.input_end[0];
      return text;
    };
    dir.write("input.txt", ends(kExampleInput));
    dir.write("deformacia.txt", ends(kExampleHistory));
    RunResult r = RunHysteresis(dir.path(), {{"VELD_FMT_TERMINATOR", c.value}});
    ASSERT_EQ(0, r.status) << r.err;
    EXPECT_EQ(WithLineEnd(kExampleOutput, c.output_end), dir.read("output.txt"));
    ExpectConsoleRecord(r.out, c.console_end);
  }
}

TEST(UnitsE2E, MalformedTerminatorIsWarnedOnceAndIgnored) {
  TempDir dir;
  WriteExample(dir);
  RunResult r = RunHysteresis(dir.path(), {{"VELD_FMT_TERMINATOR", "LF;"}});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
  ExpectConsoleRecord(r.out);
  const size_t first = r.err.find("(96)");
  EXPECT_NE(std::string::npos, first) << r.err;
  EXPECT_EQ(std::string::npos, r.err.find("(96)", first + 1)) << r.err;
}

TEST(UnitsE2E, OutputToAFullDeviceFailsWith38) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteExample(dir);
  ASSERT_EQ(0, ::symlink("/dev/full", dir.file("output.txt").c_str()));
  RunResult r = RunHysteresis(dir.path());
  EXPECT_EQ(38, r.status);
  EXPECT_NE(std::string::npos,
            r.err.find(Severe(38, "error during write, unit 3, file " + dir.file("output.txt"))))
      << r.err;
}

// A write that fails while the character item "sekund" starts a new record
// (the line width of RECL 30 holds the label and the time, not the unit)
// ends the run with 38 at once, with one diagnostic.
TEST(UnitsE2E, FailedWriteWhileAWordStartsANewRecordEndsWith38) {
  if (::access("/dev/full", W_OK) != 0) GTEST_SKIP() << "no /dev/full";
  TempDir dir;
  WriteExample(dir);
  RunResult r = RunHysteresis(
      dir.path(),
      {{"VELD_FMT_RECL", "30"}, {"VELD_PRINT", "/dev/full"}, {"VELD_DISABLE_STACK_TRACE", "1"}});
  EXPECT_EQ(38, r.status);
  const std::string severe = Severe(38, "error during write, unit -1, file /dev/full") + "\n";
  ASSERT_GE(r.err.size(), severe.size()) << r.err;
  EXPECT_EQ(severe, r.err.substr(r.err.size() - severe.size()));
  EXPECT_EQ(r.err.find("severe"), r.err.rfind("severe")) << r.err;
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
}

// A unit that would write to a file another unit of the run has open is
// connected read-only: its first record fails with 47 and no input changes.
struct AliasCase {
  const char* name;
  const char* link_target;  // output.txt is made a link to this file, or null
  bool hard;
  const char* print;  // VELD_PRINT, or null
  int unit;           // the unit refused
  const char* file;   // the file its diagnostic names
};

TEST(UnitsE2E, WritingToAFileThatIsAlsoAnInputFailsWith47) {
  const AliasCase cases[] = {
      {"output a symbolic link to the input", "input.txt", false, nullptr, 3, "output.txt"},
      {"output a symbolic link to the history", "deformacia.txt", false, nullptr, 3, "output.txt"},
      {"output a hard link to the input", "input.txt", true, nullptr, 3, "output.txt"},
      {"output a hard link to the history", "deformacia.txt", true, nullptr, 3, "output.txt"},
      {"console record to the input", nullptr, false, "input.txt", -1, "input.txt"},
      {"console record to the history", nullptr, false, "deformacia.txt", -1, "deformacia.txt"},
      {"console record to the output", nullptr, false, "output.txt", -1, "output.txt"},
  };
  for (const AliasCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteExample(dir);
    const std::string output = dir.file("output.txt");
    if (c.link_target) {
      const int made = c.hard ? ::link(dir.file(c.link_target).c_str(), output.c_str())
                              : ::symlink(c.link_target, output.c_str());
      ASSERT_EQ(0, made);
    }
    testsupport::Env env = {{"VELD_DISABLE_STACK_TRACE", "1"}};
    if (c.print) env.push_back({"VELD_PRINT", c.print});
    RunResult r = RunHysteresis(dir.path(), env);
    EXPECT_EQ(47, r.status);
    EXPECT_EQ(Severe(47, "write to READONLY file, unit " + std::to_string(c.unit) + ", file " +
                             dir.file(c.file)) +
                  "\n",
              r.err);
    EXPECT_EQ(kExampleInput, dir.read("input.txt"));
    EXPECT_EQ(kExampleHistory, dir.read("deformacia.txt"));
    if (!c.link_target) {
      EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
    }
  }
}

// Runs the program as an unprivileged user (root ignores file modes).
// Returns false when that is not possible here.
bool RunUnprivileged(const TempDir& dir, RunResult* r) {
  static const char* const kSetpriv[] = {"/usr/bin/setpriv", "/bin/setpriv"};
  std::string setpriv;
  for (const char* p : kSetpriv)
    if (::access(p, X_OK) == 0) setpriv = p;
  if (setpriv.empty()) return false;
  // The build tree may lie where that user cannot go (under /root, say): run
  // a copy of the program from a directory anyone can enter.
  TempDir bin;
  const std::string program = bin.file("hysteresis");
  std::error_code ec;
  std::filesystem::copy_file(HYSTERESIS_BINARY, program, ec);
  if (ec || ::chmod(bin.path().c_str(), 0755) != 0 || ::chmod(program.c_str(), 0755) != 0)
    return false;
  const std::vector<std::string> prefix = {setpriv, "--reuid=65534", "--regid=65534",
                                           "--clear-groups"};
  // The program and the directory must be reachable by that user.
  std::vector<std::string> probe = prefix;
  for (const std::string& a : {std::string("/bin/sh"), std::string("-c"),
                               std::string("test -x \"$0\" && cd \"$1\""), program, dir.path()})
    probe.push_back(a);
  if (testsupport::RunProgram(probe, dir.path()).status != 0) return false;
  std::vector<std::string> run = prefix;
  run.push_back(program);
  *r = testsupport::RunProgram(run, dir.path());
  return true;
}

TEST(UnitsE2E, ReadOnlyOutputFailsWith47AtTheFirstRecord) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  WriteExample(dir);
  dir.write("output.txt", "old\r\n");
  for (const char* f : {"input.txt", "deformacia.txt", "output.txt"})
    ::chmod(dir.file(f).c_str(), 0444);
  RunResult r;
  if (!RunUnprivileged(dir, &r)) GTEST_SKIP() << "cannot run as an unprivileged user";
  EXPECT_EQ(47, r.status);
  EXPECT_EQ(Severe(47, "write to READONLY file, unit 3, file " + dir.file("output.txt")),
            FirstLine(r.err));
  EXPECT_EQ("old\r\n", dir.read("output.txt"));
}

TEST(UnitsE2E, ReadOnlyInputsAreReadNormally) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0777);
  WriteExample(dir);
  ::chmod(dir.file("input.txt").c_str(), 0444);
  ::chmod(dir.file("deformacia.txt").c_str(), 0444);
  RunResult r;
  if (!RunUnprivileged(dir, &r)) GTEST_SKIP() << "cannot run as an unprivileged user";
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ(kExampleOutput, dir.read("output.txt"));
}

TEST(UnitsE2E, UnwritableDirectoryRefusesTheCreationWith9) {
  TempDir dir;
  ::chmod(dir.path().c_str(), 0555);
  RunResult r;
  if (!RunUnprivileged(dir, &r)) GTEST_SKIP() << "cannot run as an unprivileged user";
  EXPECT_EQ(9, r.status);
  // The system's text comes first, on a line of its own.
  EXPECT_NE(std::string::npos,
            r.err.find(Severe(
                9, "permission to access file denied, unit 1, file " + dir.file("input.txt"))))
      << r.err;
}

TEST(UnitsE2E, SystemFailuresOfReadsAndWrites) {
  struct Case {
    const char* what;
    unsigned kind;
    int error;
    int status;
    std::string message;
  } cases[] = {
      {"read", Sys::kCallRead, EIO, 39, "error during read, unit 1, file "},
      {"write", Sys::kCallWrite, ENOSPC, 38, "error during write, unit 3, file "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    WriteExample(dir);
    RunResult r = testsupport::RunInChild(dir.path(), [&] {
      Sys::SetFault(1, c.error, c.kind);
      return ProcessMain();
    });
    EXPECT_EQ(c.status, r.status);
    const std::string file = c.status == 39 ? "input.txt" : "output.txt";
    EXPECT_NE(std::string::npos, r.err.find(Severe(c.status, c.message + dir.file(file)))) << r.err;
  }
}

TEST(UnitsE2E, RewindAfterEndOfFileReadsTheFirstRecordAgain) {
  TempDir dir;
  dir.write("deformacia.txt", "1.5\n2.5\n");
  RunResult r = testsupport::RunInChild(dir.path(), [] {
    std::string name = "deformacia.txt";
    const OpenAttr attrs[] = {
        {kTypeChar, kFormText, kAttrFile, 0, name.data(), static_cast<int32_t>(name.size())},
        {kTypeInt32, kFormValue, kAttrStatus, kStatusUnknown, nullptr, 0},
        {kTypeEnd, 0, 0, 0, nullptr, 0},
    };
    ConnectUnit(2, 0, attrs);
    float v = 0.0f;
    const InItem items[] = {{kTypeReal4, 0, &v, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
    const unsigned flags = kErrStatusWanted | kEndStatusWanted;
    int count = 0;
    while (ListReader::read(2, flags, items) == 0) ++count;
    if (count != 2) return 100 + count;
    if (ListReader::read(2, flags, items) != -1) return 110;  // still at the end
    RewindUnit(2, 0);
    v = 0.0f;
    if (ListReader::read(2, flags, items) != 0 || v != 1.5f) return 120;
    return 0;
  });
  EXPECT_EQ(0, r.status) << r.err;
}

}  // namespace

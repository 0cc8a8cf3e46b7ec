// Whole runs of the program with "input.txt" written in different ways: the
// backbone group read the same every time, and the refusals of a bad group
// with their diagnostic line and exit status.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

namespace {

using testsupport::RunHysteresis;
using testsupport::TempDir;

TEST(GroupReaderRun, HandWrittenInputsGiveTheExampleOutput) {
  const char* const inputs[] = {
      "2\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n",
      "2   ! backbone points minus two\n! strain and stress\n&parametre\n"
      "  ey = 0, 1, 3, 6     ! strain\n  sy = 0, 100, 150, 180 ! stress\n&end\n",
      "2\r\n$PARAMETRE\r\n\tEY =\t0.0\t1.0\t3.0\t6.0\r\n\tSY "
      "=\t0.0\t1.0E2\t1.5E2\t1.8E2\r\n$END\r\n",
      "2\nTest bar 7, steel\n&PARAMETRE\nEY=\n0\n1\n3\n6\nSY=\n0\n100\n150\n180\n/",
      "2 &PARAMETRE EY = 9 9 9 9 /\n&OTHER A=1 /\n&PARAMETRE SY(0:3) = 0 100 150 180\n"
      " EY(1) = 1 3 6\n EY(0) = 0 /\n",
  };
  for (const char* input : inputs) {
    SCOPED_TRACE(input);
    TempDir dir;
    dir.write("input.txt", input);
    dir.write("deformacia.txt", testsupport::kExampleHistory);
    const auto r = RunHysteresis(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
  }
}

TEST(GroupReaderRun, BadGroupsEndTheRunWithTheirDiagnostic) {
  struct BadCase {
    const char* name;
    const char* input;
    int status;
    const char* message;  // catalogue text up to the file name
    const char* tail;     // what the line shows after the file name
  };
  const BadCase cases[] = {
      {"too many values", "2\n&PARAMETRE EY = 0 1 3 6 9, SY = 0 100 150 180 /\n", 18,
       "too many values for NAMELIST variable, unit 1, file ", ", line 2, position 25"},
      {"unknown object", "2\n&PARAMETRE EY = 0 1 3 6, XX = 1 /\n", 19,
       "invalid reference to variable in NAMELIST input, unit 1, file ", ", line 2, position 27"},
      {"subscript beyond the bounds", "2\n&PARAMETRE EY(4) = 1 /\n", 19,
       "invalid reference to variable in NAMELIST input, unit 1, file ", ", line 2, position 16"},
      {"two carriage returns", "2\n&PARAMETRE EY = 0 1 3 6\r\r\n SY = 0 100 150 180 /\n", 17,
       "syntax error in NAMELIST input, unit 1, file ", ", line 2, position 24"},
      {"string for a number", "2\n&PARAMETRE EY = 'abc' /\n", 64,
       "input conversion error, unit 1, file ", ", line 2, position 21"},
      {"group never closed", "2\n&PARAMETRE EY = 0 1 3 6\n", 24,
       "end-of-file during read, unit 1, file ", ", line 3, position 0"},
      {"no group", "2\nsome notes\n", 24, "end-of-file during read, unit 1, file ",
       ", line 3, position 0"},
      {"only the count", "2\n", 24, "end-of-file during read, unit 1, file ", "input.txt"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", c.input);
    dir.write("deformacia.txt", testsupport::kExampleHistory);
    const auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, c.status);
    const std::string expected_start =
        "dravel: severe (" + std::to_string(c.status) + "): " + c.message;
    EXPECT_EQ(r.err.compare(0, expected_start.size(), expected_start), 0) << r.err;
    const std::string expected_end = std::string(c.tail) + "\r\n";
    EXPECT_TRUE(
        r.err.size() >= expected_end.size() &&
        r.err.compare(r.err.size() - expected_end.size(), expected_end.size(), expected_end) == 0)
        << r.err;
    EXPECT_EQ(dir.read("output.txt"), "");
  }
}

}  // namespace

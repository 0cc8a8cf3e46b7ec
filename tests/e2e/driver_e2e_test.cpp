// Whole runs of the program in fresh directories: the worked example, the
// console record, the history rules of the driver and its sound refusals.
#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/run.h"

namespace {

using testsupport::RunHysteresis;
using testsupport::TempDir;

// The 32-byte record of a strain and a stress field.
std::string Record(const std::string& strain, const std::string& stress) {
  return strain + stress + "\r\n";
}
const std::string kZero = "  0.0000000E+00";

TEST(Driver, WorkedExampleByteForByte) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  auto r = RunHysteresis(dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
  EXPECT_TRUE(std::regex_match(r.out, std::regex(" Cas programu:.{15} sekund\r\n")))
      << "[" << r.out << "]";
}

TEST(Driver, ExampleDirectoryMatchesItsExpectedOutput) {
  const std::string src = std::string(HYSTERESIS_SOURCE_DIR) + "/examples/basic/";
  TempDir dir;
  dir.write("input.txt", testsupport::ReadFile(src + "input.txt"));
  dir.write("deformacia.txt", testsupport::ReadFile(src + "deformacia.txt"));
  auto r = RunHysteresis(dir.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("output.txt"), testsupport::ReadFile(src + "expected-output.txt"));
}

TEST(Driver, ConsoleTimeFieldIsNeverNegative) {
  TempDir dir;
  dir.write("input.txt", testsupport::kExampleInput);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  auto r = RunHysteresis(dir.path());
  ASSERT_EQ(r.out.size(), 38u);
  const std::string field = r.out.substr(14, 15);
  EXPECT_NE(field[field.find_first_not_of(' ')], '-') << field;
}

struct HistoryCase {
  const char* name;
  const char* history;
  std::string expected;
};

TEST(Driver, HistoryFileShapes) {
  const std::string r1 = Record("   4.000000    ", "   160.0000    ");
  const std::string r2 = Record("  -4.000000    ", "  -160.0000    ");
  const HistoryCase cases[] = {
      {"single value", "123.5\n", Record(kZero, kZero)},
      {"first value replaced by zero", "-7\n4\n", Record(kZero, kZero) + r1},
      {"blank lines and no final line feed", "\n  \n9\n\n4\n\t\n-4",
       Record(kZero, kZero) + r1 + r2},
      {"CR LF line ends", "9\r\n4\r\n-4\r\n", Record(kZero, kZero) + r1 + r2},
      // Two values on one record: counted once, both read, the last one never.
      {"two values on a record", "9 4\n-4\n7\n", Record(kZero, kZero) + r1 + r2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("deformacia.txt", c.history);
    auto r = RunHysteresis(dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("output.txt"), c.expected);
  }
}

TEST(Driver, DecimalCountIsTruncated) {
  TempDir dir;
  dir.write("input.txt", "2.0\n&PARAMETRE EY = 0 1 3 6, SY = 0 100 150 180 /\n");
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  auto r = RunHysteresis(dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
}

TEST(Driver, NegativeCountIsRefusedAndOutputUntouched) {
  TempDir dir;
  dir.write("input.txt", "-1\n&PARAMETRE EY = 0 1, SY = 0 100 /\n");
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  dir.write("output.txt", "old content\r\n");
  auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
  EXPECT_EQ(r.status, 64);
  EXPECT_EQ(r.err.rfind("dravel: severe (64): input conversion error, unit 1, file ", 0), 0u)
      << r.err;
  EXPECT_NE(r.err.find(dir.path() + "/input.txt"), std::string::npos);
  EXPECT_EQ(dir.read("output.txt"), "old content\r\n");
}

TEST(Driver, HugeCountEndsWithSizeOverflow) {
  TempDir dir;
  dir.write("input.txt", "2147483647\n&PARAMETRE EY = 0 1, SY = 0 100 /\n");
  dir.write("deformacia.txt", testsupport::kExampleHistory);
  auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
  EXPECT_EQ(r.status, 179);
  EXPECT_EQ(
      r.err,
      "dravel: severe (179): Cannot allocate array - overflow on array size calculation.\r\n");
}

// A count of zero, written as such or as a null value (the integer keeps its
// initial 0), gives the linear backbone of one segment.
TEST(Driver, LinearBackboneWithCountZero) {
  for (const char* count : {"0", ",", "/", " , 7", "0.9"}) {
    SCOPED_TRACE(count);
    TempDir dir;
    dir.write("input.txt", std::string(count) + "\n&PARAMETRE EY = 0 1, SY = 0 100 /\n");
    dir.write("deformacia.txt", "0\n3\n-2\n");
    auto r = RunHysteresis(dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("output.txt"), Record(kZero, kZero) +
                                          Record("   3.000000    ", "   300.0000    ") +
                                          Record("  -2.000000    ", "  -200.0000    "));
  }
}

TEST(Driver, UnassignedBackbonePointsReadAsZero) {
  // EY(3) and SY(3) are never assigned: they read as 0, so the last segment
  // runs from (3, 150) back to the origin with slope 50.
  TempDir dir;
  dir.write("input.txt", "2\n&PARAMETRE EY = 0 1 3, SY = 0 100 150 /\n");
  dir.write("deformacia.txt", "0\n4\n");
  auto r = RunHysteresis(dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(dir.read("output.txt"),
            Record(kZero, kZero) + Record("   4.000000    ", "   200.0000    "));
}

// A history without a value, empty or of blank records of any shape, ends
// with end of file on unit 2 and leaves an old "output.txt" as it was.
TEST(Driver, HistoryWithoutValuesEndsWithEndOfFileOnUnitTwo) {
  const std::string kMissing = "(missing)";
  const std::string histories[] = {kMissing,
                                   "",
                                   "\n",
                                   "   ",
                                   " \t \n\n\t\n",
                                   "\r\n\r\n",
                                   "  \r\n\t\r\n \n",
                                   std::string(20000, '\n') + " \t\r\n"};
  for (const std::string& history : histories) {
    SCOPED_TRACE(testing::PrintToString(history.substr(0, 8)) + " of " +
                 std::to_string(history.size()));
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("output.txt", "old\r\n");
    if (history != kMissing) dir.write("deformacia.txt", history);
    auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, 24);
    EXPECT_EQ(r.err, "dravel: severe (24): end-of-file during read, unit 2, file " + dir.path() +
                         "/deformacia.txt\r\n");
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(dir.read("output.txt"), "old\r\n");
    EXPECT_TRUE(dir.exists("deformacia.txt"));
  }
}

}  // namespace

// Whole runs on histories that the counting loop and the whole-array read treat
// differently (bad text, lone commas, slashes, stray bytes), diagnostics included.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

namespace {

using testsupport::RunHysteresis;
using testsupport::TempDir;

// Number of CR LF ended records in `text`.
size_t CountRecords(const std::string& text) {
  size_t n = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
  return n;
}

struct HistoryRun {
  const char* name;
  std::string history;
  int status;
  const char* message;  // the diagnostic after "dravel: severe (N): ", or "" for none
  size_t records;       // records of "output.txt" after a normal run
};

TEST(ListReaderRun, HistoriesThatCountAndReadDifferently) {
  const HistoryRun cases[] = {
      {"text counted, then a syntax error", "1\nabc\n3\n", 59,
       "list-directed I/O syntax error, unit 2, file ", 0},
      {"text counted, then a conversion error", "1\n2\ntrue\n", 64,
       "input conversion error, unit 2, file ", 0},
      {"number too large for single precision", "1\n1E39\n", 64,
       "input conversion error, unit 2, file ", 0},
      {"lone comma after a value runs out of records", "5\n,\n", 24,
       "end-of-file during read, unit 2, file ", 0},
      {"lone comma as the first record is a null value", ",\n5\n", 0, "", 2},
      {"slash ends the array read early", "9\n4\n/\n-4\n", 0, "", 4},
      {"null value then values", ",\n4\n-4\n", 0, "", 3},
      {"repeat count", "9\n2*4\n-4\n", 0, "", 3},
      {"byte-order mark before the first value",
       "\xef\xbb\xbf"
       "9\n4\n",
       59, "list-directed I/O syntax error, unit 2, file ", 0},
      {"NUL byte in a value", std::string("9\n4\0\n", 5), 59,
       "list-directed I/O syntax error, unit 2, file ", 0},
      {"long blank line before the values", std::string(300000, ' ') + "\n9\n4\n", 0, "", 2},
  };
  for (const HistoryRun& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("deformacia.txt", c.history);
    auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, c.status) << r.err;
    if (c.status == 0) {
      EXPECT_EQ(r.err, "");
      EXPECT_EQ(CountRecords(dir.read("output.txt")), c.records);
    } else {
      std::string prefix = "dravel: severe (" + std::to_string(c.status) + "): " + c.message;
      EXPECT_EQ(r.err, prefix + dir.path() + "/deformacia.txt\r\n");
      EXPECT_EQ(dir.read("output.txt"), "");
    }
  }
}

TEST(ListReaderRun, CountReadOfInputMustHoldANumber) {
  const HistoryRun cases[] = {
      {"empty input", "", 24, "end-of-file during read, unit 1, file ", 0},
      {"text for the count", "abc\n", 59, "list-directed I/O syntax error, unit 1, file ", 0},
      {"logical for the count", "T\n", 64, "input conversion error, unit 1, file ", 0},
  };
  for (const HistoryRun& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", c.history);
    dir.write("deformacia.txt", testsupport::kExampleHistory);
    auto r = RunHysteresis(dir.path(), {{"VELD_DISABLE_STACK_TRACE", "1"}});
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, "dravel: severe (" + std::to_string(c.status) + "): " + c.message +
                         dir.path() + "/input.txt\r\n");
  }
}

}  // namespace

// End-to-end tests of start-up and finish: a normal run ends with status 0
// and a quiet standard error; subnormal results flush, subnormal inputs stay.
#include <gtest/gtest.h>

#include <string>

#include "support/run.h"

namespace {

using testsupport::RunHysteresis;
using testsupport::TempDir;

// True when `out` is exactly the console record of a non-negative time.
bool IsTimeRecord(const std::string& out) {
  const std::string head = " Cas programu:", tail = " sekund\r\n";
  if (out.size() != head.size() + 15 + tail.size()) return false;
  if (out.compare(0, head.size(), head) != 0) return false;
  if (out.compare(out.size() - tail.size(), tail.size(), tail) != 0) return false;
  const std::string field = out.substr(head.size(), 15);
  const size_t first = field.find_first_not_of(' ');
  return first != std::string::npos && field[first] >= '0' && field[first] <= '9';
}

TEST(StartupE2E, NormalRunEndsWithZeroAndQuietStderr) {
  const char* settings[] = {nullptr, "yes", "T", "1", "no", "0"};
  for (const char* value : settings) {
    SCOPED_TRACE(value ? value : "(unset)");
    TempDir dir;
    dir.write("input.txt", testsupport::kExampleInput);
    dir.write("deformacia.txt", testsupport::kExampleHistory);
    testsupport::Env env = {{"VELD_NOERROR_DIALOGS", value ? value : "\x01"}};
    auto r = RunHysteresis(dir.path(), env);
    EXPECT_EQ(r.status, 0);
    EXPECT_FALSE(r.signaled);
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(IsTimeRecord(r.out)) << r.out;
    EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
  }
}

// The elastic step multiplies the first slope by the strain. A product below
// the smallest normal value is zero; a subnormal strain read from the history
// is kept and multiplies as itself (no denormals-are-zero on this machine).
TEST(StartupE2E, SubnormalResultsFlushButSubnormalInputsStay) {
  struct Case {
    const char* name;
    const char* input;
    const char* history;
    const char* second_record;
  } cases[] = {
      {"product 1e-39 flushes", "2\n&PARAMETRE EY = 0 1 3 6, SY = 0 1E-30 2E-30 3E-30 /\n",
       "0\n1E-9\n", "  9.9999997E-10  0.0000000E+00\r\n"},
      {"subnormal strain times 1e30", "2\n&PARAMETRE EY = 0 1 3 6, SY = 0 1E30 2E30 3E30 /\n",
       "0\n1E-40\n", "  9.9999461E-41  9.9999460E-11\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", c.input);
    dir.write("deformacia.txt", c.history);
    auto r = RunHysteresis(dir.path());
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string out = dir.read("output.txt");
    const std::string first = "  0.0000000E+00  0.0000000E+00\r\n";
    EXPECT_EQ(out, first + c.second_record);
  }
}

}  // namespace

// A standard stream closed by the caller is reopened on the null device
// before any file is connected, so no data file can take its descriptor.
// Every file must then be byte for byte what a run with open streams leaves.
struct ClosedStreamCase {
  const char* name;
  const char* redirection;
  const char* history;  // "" for a history that ends the run with 24
  int status;
};

TEST(StartupE2E, ClosedStandardStreamsNeverReachAFile) {
  const ClosedStreamCase cases[] = {
      {"input closed", "<&-", testsupport::kExampleHistory, 0},
      {"output closed", ">&-", testsupport::kExampleHistory, 0},
      {"error closed", "2>&-", testsupport::kExampleHistory, 0},
      {"all closed", "<&- >&- 2>&-", testsupport::kExampleHistory, 0},
      {"error closed, failing run", "2>&-", "", 24},
      {"output and error closed, failing run", ">&- 2>&-", "", 24},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir open_dir, closed_dir;
    for (const TempDir* d : {&open_dir, &closed_dir}) {
      d->write("input.txt", testsupport::kExampleInput);
      d->write("deformacia.txt", c.history);
      d->write("output.txt", "old\r\n");
    }
    const testsupport::Env quiet = {{"VELD_DISABLE_STACK_TRACE", "1"}};
    auto open = RunHysteresis(open_dir.path(), quiet);
    auto closed = testsupport::RunProgram(
        {"/bin/sh", "-c", std::string("exec \"$0\" ") + c.redirection, HYSTERESIS_BINARY},
        closed_dir.path(), quiet);
    EXPECT_EQ(open.status, c.status) << open.err;
    EXPECT_EQ(closed.status, c.status) << closed.err;
    EXPECT_FALSE(closed.signaled);
    for (const char* f : {"input.txt", "deformacia.txt", "output.txt"})
      EXPECT_EQ(closed_dir.read(f), open_dir.read(f)) << f;
  }
}

// Whole runs of hysteresis-life in fresh directories: the worked example, the
// path of a computed job against output.txt, and its refusals.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run.h"

namespace {

using testsupport::RunProgram;
using testsupport::RunResult;
using testsupport::TempDir;

const std::string kLife = "&LIFE E=206000, SF=1000, B=-0.08, EF=0.5, C=-0.6 /\n";

// The program keeps the job's tables to the end by design; a sanitized
// build must not count them as leaks.
RunResult RunLife(const TempDir& dir, std::vector<std::string> args = {}) {
  args.insert(args.begin(), HYSTERESIS_LIFE_BINARY);
  return RunProgram(args, dir.path(), {{"ASAN_OPTIONS", "detect_leaks=0"}});
}

void WriteExample(const TempDir& dir) {
  dir.write("input.txt", std::string(testsupport::kExampleInput) + kLife);
  dir.write("deformacia.txt", testsupport::kExampleHistory);
}

// The example directory: its input.txt holds the group LIFE after PARAMETRE.
TEST(LifeCommand, WorkedExample) {
  const std::string src = std::string(HYSTERESIS_SOURCE_DIR) + "/examples/basic/";
  TempDir dir;
  dir.write("input.txt", testsupport::ReadFile(src + "input.txt"));
  dir.write("deformacia.txt", testsupport::ReadFile(src + "deformacia.txt"));
  RunResult r = RunLife(dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_FALSE(dir.exists("output.txt"));
  EXPECT_FALSE(dir.exists("loops.csv.tmp"));
  // One closed loop between entries 3 and 4 (strains -4 and 0), closed by
  // entry 6; the residue 0 -> 4 -> -5 as two half cycles.
  const std::string csv = dir.read("loops.csv");
  EXPECT_EQ(csv.substr(0, csv.find('\n') + 1),
            "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
            "stress_amplitude,mean_stress,parameter,cycles,damage\n");
  std::vector<std::string> rows;  // closing, b, c and count of each row
  for (size_t at = csv.find('\n') + 1; at < csv.size(); at = csv.find('\n', at) + 1) {
    size_t end = at;
    for (int comma = 0; comma < 4; ++comma) end = csv.find(',', end) + 1;
    rows.push_back(csv.substr(at, end - 1 - at));
  }
  EXPECT_EQ(rows, (std::vector<std::string>{"6,3,4,1", ",1,2,0.5", ",2,6,0.5"}));
  EXPECT_NE(csv.find("\n6,3,4,1,-4,0,-160,90,2,125,-35,"), std::string::npos) << csv;
  EXPECT_NE(r.out.find("closed loops: 1\nhalf cycles: 2\n"), std::string::npos) << r.out;

  // The path that hysteresis writes gives the same table: the stresses of
  // the loops are those of output.txt.
  ASSERT_EQ(testsupport::RunHysteresis(dir.path(), {{"ASAN_OPTIONS", "detect_leaks=0"}}).status, 0);
  EXPECT_EQ(dir.read("output.txt"), testsupport::ReadFile(src + "expected-output.txt"));
  RunResult p = RunLife(dir, {"--path", "output.txt", "-o", "path.csv"});
  ASSERT_EQ(p.status, 0) << p.err;
  EXPECT_EQ(dir.read("path.csv"), csv);
}

TEST(LifeCommand, GroupLifeErrors) {
  struct Case {
    const char* name;
    std::string group;
    int status;
    const char* message;  // start of the first line of standard error
  } cases[] = {
      {"no group", "", 1,
       "hysteresis-life: input.txt: no group &LIFE after &PARAMETRE with the material constants"},
      {"a constant missing", "&LIFE E=206000, SF=1000, B=-0.08, C=-0.6 /\n", 1,
       "hysteresis-life: input.txt: the group &LIFE gives no value for EF\n"},
      {"a constant no curve has", "&life e=206000 sf=1000 b=0.08 ef=0.5 c=-0.6 /\n", 1,
       "hysteresis-life: input.txt: the group &LIFE: B must be finite and negative\n"},
      {"an unknown name", "&LIFE E=206000, SF=1000, X=1 /\n", 19, "dravel: severe (19): "},
      {"two values for a scalar", "&LIFE E=206000 1 /\n", 18, "dravel: severe (18): "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    dir.write("input.txt", std::string(testsupport::kExampleInput) + c.group);
    dir.write("deformacia.txt", testsupport::kExampleHistory);
    RunResult r = RunLife(dir);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_FALSE(dir.exists("loops.csv"));
  }
}

TEST(LifeCommand, AJobThatHysteresisRefusesGetsItsDiagnostic) {
  const char* histories[] = {"", "0\nabc\n", "1\n1e99\n"};
  for (const char* history : histories) {
    SCOPED_TRACE(history);
    TempDir dir;
    dir.write("input.txt", std::string(testsupport::kExampleInput) + kLife);
    dir.write("deformacia.txt", history);
    RunResult life = RunLife(dir);
    RunResult job = testsupport::RunHysteresis(dir.path(), {{"ASAN_OPTIONS", "detect_leaks=0"}});
    EXPECT_NE(life.status, 0);
    EXPECT_EQ(life.status, job.status);
    EXPECT_EQ(life.err.substr(0, life.err.find('\n')), job.err.substr(0, job.err.find('\n')));
  }
}

TEST(LifeCommand, RefusalsOfTheCommand) {
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  } cases[] = {
      {{"--parameter", "goodman"},
       2,
       "hysteresis-life: --parameter takes swt, morrow or strain, not goodman (try --help)\n"},
      {{"--residue"}, 2, "hysteresis-life: --residue needs a value (try --help)\n"},
      {{"--input", "input.txt"},
       2,
       "hysteresis-life: --input goes with --path (the job reads input.txt) (try --help)\n"},
      {{"extra"}, 2, "hysteresis-life: unknown argument extra (try --help)\n"},
      {{"--path", "missing.txt"},
       1,
       "hysteresis-life: missing.txt: cannot be opened (No such file or directory)\n"},
      {{"--path", "deformacia.txt"},
       1,
       "hysteresis-life: deformacia.txt, record 1: is not two 15-character fields (1 "
       "characters)\n"},
      {{"--path", "output.txt", "--input", "none.txt"},
       1,
       "hysteresis-life: none.txt: cannot be opened (No such file or directory)\n"},
      {{"-o", "deformacia.txt"},
       1,
       "hysteresis-life: the table deformacia.txt would replace the input deformacia.txt\n"},
      {{"--path", "output.txt", "-o", "output.txt"},
       1,
       "hysteresis-life: the table output.txt would replace the input output.txt\n"},
      {{"-o", "no/such/dir.csv"},
       1,
       "hysteresis-life: no/such/dir.csv.tmp: cannot be created (No such file or directory)\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    TempDir dir;
    WriteExample(dir);
    dir.write("output.txt", testsupport::kExampleOutput);
    RunResult r = RunLife(dir, c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.message);
    EXPECT_EQ(dir.read("deformacia.txt"), testsupport::kExampleHistory);
    EXPECT_EQ(dir.read("output.txt"), testsupport::kExampleOutput);
    EXPECT_FALSE(dir.exists("loops.csv"));
  }
}

TEST(LifeCommand, AFailedRunLeavesTheOldTable) {
  TempDir dir;
  WriteExample(dir);
  dir.write("loops.csv", "old\n");
  dir.write("path.txt", "   4.000000       160.0000    \nbad\n");
  EXPECT_EQ(RunLife(dir, {"--path", "path.txt"}).status, 1);
  EXPECT_EQ(dir.read("loops.csv"), "old\n");
  EXPECT_FALSE(dir.exists("loops.csv.tmp"));
}

}  // namespace

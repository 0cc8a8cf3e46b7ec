// The rows of loops.csv through the row writer, on the calling thread and on
// the worker: the same file, in the order the cycles were taken, however many
// batches they fill; and a whole run with and without the worker.
#include "life/rowwriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "life/report.h"
#include "support/run.h"

namespace {

using testsupport::TempDir;

// A cycle whose row tells it from every other.
Loop NthCycle(int64_t i) {
  const double strain = static_cast<double>(static_cast<float>(i) * 1e-6f);
  return Loop{{i, -strain, -0.5 * static_cast<double>(i)}, {i + 1, strain, 0.25}, i + 2, 1.0};
}
LoopDamage NthDamage(int64_t i) {
  return LoopDamage{1e-3, 2.5, -1.0 / 3, 7.0, 1.0 * static_cast<double>(i), 1e9, 1e-9 / (i + 1)};
}

std::string Expected(int64_t cycles) {
  std::string text = Life::kCsvHeader;
  char row[Life::kCsvRowMax];
  for (int64_t i = 0; i < cycles; ++i) text.append(row, Life::FormatCsvRow(NthCycle(i), NthDamage(i), row));
  return text;
}

TEST(RowWriter, SameFileOnEitherThreadInTheOrderTaken) {
  const int64_t many = static_cast<int64_t>(Life::kRowBatch * Life::kRowSlots * 5 + 17);
  for (const bool threaded : {false, true}) {
    for (const int64_t cycles : {int64_t{0}, int64_t{1}, static_cast<int64_t>(Life::kRowBatch), many}) {
      SCOPED_TRACE(testing::Message() << "threaded " << threaded << ", cycles " << cycles);
      TempDir dir;
      Life::CsvFile csv;
      ASSERT_EQ(Life::OpenCsv(csv, dir.file("loops.csv")), "");
      Life::RowWriter rows;
      Life::StartRows(rows, csv, threaded);
      for (int64_t i = 0; i < cycles; ++i) Life::AddRow(rows, NthCycle(i), NthDamage(i));
      Life::FinishRows(rows);
      ASSERT_EQ(Life::CommitCsv(csv), "");
      EXPECT_EQ(dir.read("loops.csv"), Expected(cycles));
    }
  }
}

// A history of a few hundred thousand entries (many batches of rows) gives
// the same table and summary with one thread as with the worker.
TEST(RowWriter, WholeRunTheSameWithOneThread) {
  TempDir dir;
  dir.write("input.txt", std::string(testsupport::kExampleInput) +
                             "&LIFE E=206000, SF=1000, B=-0.08, EF=0.5, C=-0.6 /\n");
  std::string history;
  uint32_t state = 7;
  for (int i = 0; i < 200000; ++i) {
    state = state * 1664525u + 1013904223u;
    history += std::to_string(static_cast<int>(state >> 20) % 1300 / 100.0 - 6.0) + "\n";
  }
  dir.write("deformacia.txt", history);
  const testsupport::Env base = {{"ASAN_OPTIONS", "detect_leaks=0"}};
  const testsupport::RunResult worker =
      testsupport::RunProgram({HYSTERESIS_LIFE_BINARY, "-o", "worker.csv"}, dir.path(), base);
  testsupport::Env one = base;
  one.emplace_back("HYSTERESIS_LIFE_ONE_THREAD", "yes");
  const testsupport::RunResult single =
      testsupport::RunProgram({HYSTERESIS_LIFE_BINARY, "-o", "one.csv"}, dir.path(), one);
  ASSERT_EQ(worker.status, 0) << worker.err;
  ASSERT_EQ(single.status, 0) << single.err;
  EXPECT_EQ(worker.out, single.out);
  const std::string table = dir.read("worker.csv");
  EXPECT_GT(table.size(), Life::kRowBatch * Life::kRowSlots * 40);
  EXPECT_EQ(table, dir.read("one.csv"));
}

}  // namespace

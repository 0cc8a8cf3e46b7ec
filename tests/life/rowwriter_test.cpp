// The cycles through the row writer, on the calling thread and on the
// worker: the same file and the same tally, in the order the cycles were
// taken, however many batches they fill; and a whole run with and without
// the worker.
#include "life/rowwriter.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "life/report.h"
#include "runtime/platform/fault.h"
#include "support/run.h"

namespace {

using testsupport::TempDir;

// A cycle whose row tells it from every other, with damage on this curve.
Loop NthCycle(int64_t i) {
  const double strain = static_cast<double>(static_cast<float>(i % 5000) * 1e-6f);
  return Loop{
      {i, -strain, -0.5 * static_cast<double>(i % 700)}, {i + 1, strain, 250.0}, i + 2, 1.0};
}
LifeCurve Curve() {
  return PrepareLifeCurve({206000, 1000, -0.08, 0.5, -0.6}, DamageParameterKind::kSwt);
}

std::string Expected(int64_t cycles, Life::Tally& tally) {
  const LifeCurve curve = Curve();
  std::string text = Life::kCsvHeader;
  char row[Life::kCsvRowMax];
  for (int64_t i = 0; i < cycles; ++i) {
    const LoopDamage d = AssessLoop(curve, NthCycle(i));
    text.append(row, Life::FormatCsvRow(NthCycle(i), d, row));
    Life::CountCycle(tally, NthCycle(i), d);
  }
  return text;
}

TEST(RowWriter, SameFileAndTallyOnEitherThreadInTheOrderTaken) {
  const int64_t many = static_cast<int64_t>(Life::kRowBatch * Life::kRowSlots * 5 + 17);
  const LifeCurve curve = Curve();
  for (const bool threaded : {false, true}) {
    for (const int64_t cycles :
         {int64_t{0}, int64_t{1}, static_cast<int64_t>(Life::kRowBatch), many}) {
      SCOPED_TRACE(testing::Message() << "threaded " << threaded << ", cycles " << cycles);
      TempDir dir;
      Life::CsvFile csv;
      ASSERT_EQ(Life::OpenCsv(csv, dir.file("loops.csv")), "");
      Life::RowWriter rows;
      Life::Tally tally;
      Life::StartRows(rows, csv, curve, tally, threaded);
      for (int64_t i = 0; i < cycles; ++i) Life::AddRow(rows, NthCycle(i));
      Life::FinishRows(rows);
      ASSERT_EQ(Life::CommitCsv(csv), "");
      Life::Tally want;
      EXPECT_EQ(dir.read("loops.csv"), Expected(cycles, want));
      EXPECT_EQ(tally.closed, want.closed);
      EXPECT_EQ(Life::DamageSum(tally), Life::DamageSum(want));  // summed in the same order
      ASSERT_EQ(tally.top.size(), want.top.size());
      for (size_t i = 0; i < want.top.size(); ++i) {
        EXPECT_EQ(tally.top[i].loop.closing_entry, want.top[i].loop.closing_entry);
      }
    }
  }
}

// A worker that cannot be started leaves the rows to the calling thread; a
// write that fails on the worker reaches the commit, which removes the
// temporary.
TEST(RowWriter, FaultsOfTheWorker) {
  const LifeCurve curve = Curve();
  const int64_t cycles = static_cast<int64_t>(Life::kRowBatch * 3 + 5);
  {
    TempDir dir;
    Life::CsvFile csv;
    ASSERT_EQ(Life::OpenCsv(csv, dir.file("loops.csv")), "");
    Life::RowWriter rows;
    Life::Tally tally;
    Sys::SetFault(1, EAGAIN, Sys::kCallOther);
    Life::StartRows(rows, csv, curve, tally, true);
    Sys::SetFault(0, 0);
    EXPECT_FALSE(rows.threaded);
    for (int64_t i = 0; i < cycles; ++i) Life::AddRow(rows, NthCycle(i));
    Life::FinishRows(rows);
    ASSERT_EQ(Life::CommitCsv(csv), "");
    Life::Tally want;
    EXPECT_EQ(dir.read("loops.csv"), Expected(cycles, want));
  }
  {
    TempDir dir;
    Life::CsvFile csv;
    ASSERT_EQ(Life::OpenCsv(csv, dir.file("loops.csv")), "");
    Life::RowWriter rows;
    Life::Tally tally;
    Life::StartRows(rows, csv, curve, tally, true);
    EXPECT_TRUE(rows.threaded);
    Sys::SetFault(1, ENOSPC, Sys::kCallWrite, true);
    for (int64_t i = 0; i < cycles * 4; ++i) Life::AddRow(rows, NthCycle(i));
    Life::FinishRows(rows);
    const std::string why = Life::CommitCsv(csv);
    Sys::SetFault(0, 0);
    EXPECT_EQ(why, dir.file("loops.csv") + ": cannot be written (No space left on device)");
    EXPECT_FALSE(dir.exists("loops.csv"));
    EXPECT_FALSE(dir.exists("loops.csv.tmp"));
    EXPECT_EQ(tally.closed, cycles * 4);
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
  one.emplace_back("HYSTERESIS_THREADS", "1");
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

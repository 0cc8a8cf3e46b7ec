// Tests of the record fetch: terminators, carriage returns, the last line
// without a terminator, end of file, long records, failed reads and memory.
#include "textin/records.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "runtime/items.h"
#include "runtime/platform/fault.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "support/run.h"

namespace {

// Connects a fresh unit number to `path` and returns the number.
int Connect(const std::string& path) {
  static int next_unit = 300;
  int number = next_unit++;
  EXPECT_EQ(
      ConnectNamedFile(number, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())),
      0);
  return number;
}

// Fetches every record of `bytes` until a failure; returns the records and
// the failure number in *last.
std::vector<std::string> FetchAll(const std::string& bytes, bool list_directed, int* last,
                                  uint64_t* counter_step = nullptr) {
  testsupport::TempDir dir;
  dir.write("in.txt", bytes);
  int number = Connect(dir.file("in.txt"));
  UnitBlock* unit = nullptr;
  EXPECT_EQ(AcquireUnit(number, &unit), 0);
  uint64_t first_counter = unit->record_counter;
  std::vector<std::string> records;
  int err;
  while ((err = FetchRecord(unit, list_directed)) == 0) {
    EXPECT_LE(unit->record_start, unit->record_end);
    EXPECT_EQ(unit->pos, unit->record_start);
    records.emplace_back(unit->record_start, unit->record_end);
    if (records.size() > bytes.size() + 1) break;  // a fetch that never ends the file
  }
  if (counter_step) *counter_step = unit->record_counter - first_counter;
  // The position after the last record is the whole file.
  EXPECT_EQ(unit->file_position, static_cast<int64_t>(bytes.size()));
  *last = err;
  // End of file is kept: a further fetch meets it again.
  if (err == 24) {
    EXPECT_EQ(FetchRecord(unit, list_directed), 24);
  }
  ReleaseUnit(unit);
  return records;
}

struct RecordCase {
  const char* name;
  std::string bytes;
  bool list_directed;
  std::vector<std::string> records;
};

TEST(FetchRecord, SplitsRecords) {
  const RecordCase cases[] = {
      {"empty file", "", false, {}},
      {"one line", "1.5\n", false, {"1.5"}},
      {"no final terminator", "1\n2", false, {"1", "2"}},
      {"blank lines kept", "\n\n \n", false, {"", "", " "}},
      {"one CR dropped", "a\r\nb\r\n", false, {"a", "b"}},
      {"only one CR dropped", "a\r\r\n", false, {"a\r"}},
      {"every trailing CR dropped in list input", "a\r\r\r\n\r\n", true, {"a", ""}},
      {"CR inside kept", "x\ry\n", true, {"x\ry"}},
      {"CR on last line without LF", "a\nb\r", false, {"a", "b"}},
      {"NUL and high bytes",
       std::string("\0\x80\xff\n\xef\xbb\xbf", 7),
       false,
       {std::string("\0\x80\xff", 3), "\xef\xbb\xbf"}},
  };
  for (const RecordCase& c : cases) {
    SCOPED_TRACE(c.name);
    int last = 0;
    uint64_t step = 0;
    EXPECT_EQ(FetchAll(c.bytes, c.list_directed, &last, &step), c.records);
    EXPECT_EQ(last, 24);
    EXPECT_EQ(step, c.records.size());
  }
}

TEST(FetchRecord, RecordsLongerThanTheBuffer) {
  // Records around and far beyond the initial buffer, with read-ahead left
  // over after each of them.
  std::string a(8191, 'a'), b(8192, 'b'), c(100000, 'c'), d(3, 'd');
  std::string bytes = a + "\n" + b + "\r\n" + c + "\n" + d + "\n" + c;
  int last = 0;
  std::vector<std::string> expected = {a, b, c, d, c};
  EXPECT_EQ(FetchAll(bytes, false, &last), expected);
  EXPECT_EQ(last, 24);
}

TEST(FetchRecord, FailedReadIs39AndKeepsTheError) {
  testsupport::TempDir dir;
  dir.write("in.txt", "1\n2\n");
  int number = Connect(dir.file("in.txt"));
  UnitBlock* unit = nullptr;
  ASSERT_EQ(AcquireUnit(number, &unit), 0);
  Sys::SetFault(1, EIO, Sys::kCallRead);
  EXPECT_EQ(FetchRecord(unit, true), 39);
  EXPECT_EQ(unit->last_error, EIO);
  EXPECT_EQ(unit->pos, unit->record_end);
  Sys::SetFault(0, 0);
  ASSERT_EQ(FetchRecord(unit, true), 0);
  EXPECT_EQ(std::string(unit->record_start, unit->record_end), "1");
  ReleaseUnit(unit);
}

TEST(FetchRecord, BufferThatCannotGrowIs98) {
  testsupport::TempDir dir;
  std::string line(20000, '7');
  dir.write("in.txt", line + "\nx\n");
  int number = Connect(dir.file("in.txt"));
  UnitBlock* unit = nullptr;
  ASSERT_EQ(AcquireUnit(number, &unit), 0);
  Sys::SetFault(1, ENOMEM, Sys::kCallAlloc);
  EXPECT_EQ(FetchRecord(unit, true), 98);
  Sys::SetFault(0, 0);
  // The bytes already read are kept: a later fetch completes the record.
  ASSERT_EQ(FetchRecord(unit, true), 0);
  EXPECT_EQ(std::string(unit->record_start, unit->record_end), line);
  ASSERT_EQ(FetchRecord(unit, true), 0);
  EXPECT_EQ(std::string(unit->record_start, unit->record_end), "x");
  ReleaseUnit(unit);
}

}  // namespace

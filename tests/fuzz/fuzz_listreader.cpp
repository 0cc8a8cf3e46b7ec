// Fuzz target: list-directed reads of arbitrary bytes, in the three shapes
// the program uses, with every failure returned as a status; the count in one
// call must end where the same statements one by one end, and an array read
// where the same elements as scalar items end.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/items.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/listreader.h"
#include "fuzz_files.h"

namespace {

// The record counter and file position a unit ends with.
struct UnitEnd {
  uint64_t records;
  int64_t position;
};

UnitEnd EndOf(int number) {
  UnitBlock* unit = nullptr;
  if (AcquireUnit(number, &unit) != 0) std::abort();
  const UnitEnd end{unit->record_counter, unit->file_position};
  ReleaseUnit(unit);
  return end;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzfiles::ScratchFile("list", data, size);
  const unsigned flags = kErrStatusWanted | kEndStatusWanted;
  if (!fuzzfiles::Connect(21, path)) std::abort();

  int32_t n = 0;
  const InItem one_int[] = {{kTypeInt32, 0, &n, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  ListReader::read(21, flags, one_int);

  float value = 0;
  const InItem one_real[] = {{kTypeReal4, 0, &value, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  int count = 0;
  while (ListReader::read(21, flags, one_real) != kStatusEndOfFile && count < 100000) ++count;

  // The count in one call ends where the same statements one by one end.
  const InItem unstored[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  RewindUnit(21, flags);
  int64_t one_by_one = 0;
  while (ListReader::read(21, flags, unstored) != kStatusEndOfFile) ++one_by_one;
  const UnitEnd statements = EndOf(21);
  RewindUnit(21, flags);
  const int64_t in_one_call = ListReader::count_reads(21, flags, unstored);
  const UnitEnd counted = EndOf(21);
  if (in_one_call != one_by_one || counted.records != statements.records ||
      counted.position != statements.position)
    std::abort();

  // The array read, which takes runs of records at once, stores and ends as
  // the same statement with one scalar item per element.
  RewindUnit(21, flags);
  float array[64];
  std::memset(array, 0, sizeof array);
  const ArrayDim dim{1, 64, 4};
  const InItem whole[] = {{kTypeReal4, 1, array, &dim}, {kTypeEnd, 0, nullptr, nullptr}};
  const int array_status = ListReader::read(21, flags, whole);
  const UnitEnd array_end = EndOf(21);
  RewindUnit(21, flags);
  float alone[64];
  std::memset(alone, 0, sizeof alone);
  InItem scalars[65];
  for (int i = 0; i < 64; ++i) scalars[i] = {kTypeReal4, 0, &alone[i], nullptr};
  scalars[64] = {kTypeEnd, 0, nullptr, nullptr};
  const int scalar_status = ListReader::read(21, flags, scalars);
  const UnitEnd scalar_end = EndOf(21);
  if (array_status != scalar_status || std::memcmp(array, alone, sizeof array) != 0 ||
      array_end.records != scalar_end.records || array_end.position != scalar_end.position)
    std::abort();

  CloseAllUnits();
  return 0;
}

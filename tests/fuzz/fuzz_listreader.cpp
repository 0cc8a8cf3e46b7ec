// Fuzz target: list-directed reads of arbitrary bytes, in the three shapes
// the program uses, with every failure returned as a status.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "runtime/items.h"
#include "runtime/units.h"
#include "textin/listreader.h"
#include "fuzz_files.h"

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

  RewindUnit(21, flags);
  float array[64];
  const ArrayDim dim{1, 64, 4};
  const InItem whole[] = {{kTypeReal4, 1, array, &dim}, {kTypeEnd, 0, nullptr, nullptr}};
  ListReader::read(21, flags, whole);

  CloseAllUnits();
  return 0;
}

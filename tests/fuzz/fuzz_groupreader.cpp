// Fuzz target: the parameter-group reader on arbitrary bytes, reading the
// group PARAMETRE with EY and SY of five elements each.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/items.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/groupreader.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzfiles::ScratchFile("group", data, size);
  if (!fuzzfiles::Connect(22, path)) std::abort();
  float ey[5] = {}, sy[5] = {};
  const GroupObject objects[] = {RealArrayObject("EY", ey, 0, 4), RealArrayObject("SY", sy, 0, 4)};
  const GroupDescriptor group{"PARAMETRE", 9, objects, 2};
  GroupReader::read(22, kErrStatusWanted | kEndStatusWanted, group);
  CloseAllUnits();
  return 0;
}

// Fuzz target: the parameter-group reader on arbitrary bytes, reading the
// group PARAMETRE with EY and SY of five elements each.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "runtime/items.h"
#include "runtime/units.h"
#include "textin/groupreader.h"
#include "fuzz_files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzzfiles::ScratchFile("group", data, size);
  if (!fuzzfiles::Connect(22, path)) std::abort();
  float ey[5] = {}, sy[5] = {};
  auto object = [](const char* name, float* storage) {
    GroupObject o{};
    o.name = name;
    o.name_len = 2;
    o.type = kTypeReal4;
    o.rank = 1;
    o.lower[0] = 0;
    o.upper[0] = 4;
    o.stride[0] = 4;
    o.storage = storage;
    return o;
  };
  const GroupObject objects[] = {object("EY", ey), object("SY", sy)};
  const GroupDescriptor group{"PARAMETRE", 9, objects, 2};
  GroupReader::read(22, kErrStatusWanted | kEndStatusWanted, group);
  CloseAllUnits();
  return 0;
}

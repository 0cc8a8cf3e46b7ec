// The group LIFE: five double-precision scalars; a constant that the group
// does not assign keeps a NaN of its own and is reported by name.
#include "life/material.h"

#include <bit>
#include <cstdint>

#include "runtime/items.h"
#include "textin/groupreader.h"

namespace Life {

namespace {

// A NaN that no text converts to: the mark of a constant not given.
constexpr uint64_t kUnsetBits = 0x7ff8'dead'beef'0001ull;

bool Unset(double v) { return std::bit_cast<uint64_t>(v) == kUnsetBits; }

const char* Requirement(const char* name) {
  const std::string n = name;
  return n == "B" || n == "C" ? "finite and negative" : "finite and positive";
}

}  // namespace

std::string ReadLifeGroup(int unit, const char* where, LifeMaterial& m) {
  double* const values[] = {&m.E, &m.SF, &m.B, &m.EF, &m.C};
  const char* const names[] = {"E", "SF", "B", "EF", "C"};
  for (double* v : values) *v = std::bit_cast<double>(kUnsetBits);
  GroupObject objects[5];
  for (int i = 0; i < 5; ++i) objects[i] = DoubleScalarObject(names[i], values[i]);
  const GroupDescriptor group{"LIFE", 4, objects, 5};
  if (GroupReader::read(unit, kEndStatusWanted, group) == kStatusEndOfFile) {
    return std::string("no group &LIFE") + where +
           " with the material constants (&LIFE E=..., SF=..., B=..., EF=..., C=... /)";
  }
  for (int i = 0; i < 5; ++i) {
    if (Unset(*values[i])) return std::string("the group &LIFE gives no value for ") + names[i];
  }
  if (const char* bad = LifeMaterialFault(m)) {
    return std::string("the group &LIFE: ") + bad + " must be " + Requirement(bad);
  }
  return "";
}

}  // namespace Life

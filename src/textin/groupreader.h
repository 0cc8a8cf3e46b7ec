// Parameter-group input: finds a named group on a text unit and assigns the
// values it holds to the group's objects.
#pragma once
#include <cstdint>

constexpr int kGroupMaxRank = 7;

// One object of a group: its name, element type, shape and storage.
struct GroupObject {
  const char* name;
  int32_t name_len;
  uint8_t type;                  // item type code of the elements
  int32_t rank;                  // 0 scalar, 1..7
  int32_t lower[kGroupMaxRank];
  int32_t upper[kGroupMaxRank];
  int32_t stride[kGroupMaxRank]; // bytes between consecutive elements
  void* storage;                 // element with every index at its lower bound
};

// A group: its name and its objects in declaration order.
struct GroupDescriptor {
  const char* name;
  int32_t name_len;
  const GroupObject* objects;
  int32_t object_count;
};

// A single-precision array object `name` with the indices lower..upper.
GroupObject RealArrayObject(const char* name, float* storage, int32_t lower, int32_t upper);

// A double-precision scalar object `name`.
GroupObject DoubleScalarObject(const char* name, double* storage);

namespace GroupReader {

// Reads group `group` from `unit`. Returns 0; with kErrStatusWanted or
// kEndStatusWanted in `flags` the failure's status, otherwise a failure is
// reported and the run ends. Failures: 17 syntax (also number text the
// conversion refuses, a name or value over 2,000 characters, a record that
// cannot be read inside the group), 18 too many values, 19 unknown object or
// bad subscripts, 24 end of file, 64 a quoted string or logical value for a
// number (objects of types other than 9, 26 and 28 take no values: 64), 41 no
// token buffer. After the first record every failure carries the line and
// position for the diagnostic.
int read(int unit, unsigned flags, const GroupDescriptor& group);

}  // namespace GroupReader

// A parameter group as a program declares it: the group's name and its
// objects with their element type, shape and storage.
#pragma once
#include <cstdint>

constexpr int kGroupMaxRank = 7;

// One object of a group: its name, element type, shape and storage.
struct GroupObject {
  const char* name;
  int32_t name_len;
  uint8_t type;  // item type code of the elements
  int32_t rank;  // 0 scalar, 1..7
  int32_t lower[kGroupMaxRank];
  int32_t upper[kGroupMaxRank];
  int32_t stride[kGroupMaxRank];  // bytes between consecutive elements
  void* storage;                  // element with every index at its lower bound
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

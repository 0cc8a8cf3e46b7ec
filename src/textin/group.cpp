// The objects of a parameter group.
#include "textin/group.h"

#include <cstring>

#include "runtime/items.h"

GroupObject RealArrayObject(const char* name, float* storage, int32_t lower, int32_t upper) {
  GroupObject o{};
  o.name = name;
  o.name_len = static_cast<int32_t>(std::strlen(name));
  o.type = kTypeReal4;
  o.rank = 1;
  o.lower[0] = lower;
  o.upper[0] = upper;
  o.stride[0] = sizeof(float);
  o.storage = storage;
  return o;
}

GroupObject DoubleScalarObject(const char* name, double* storage) {
  GroupObject o{};
  o.name = name;
  o.name_len = static_cast<int32_t>(std::strlen(name));
  o.type = kTypeReal8;
  o.rank = 0;
  o.storage = storage;
  return o;
}

// Parameter-group input: finds a named group on a text unit and assigns the
// values it holds to the group's objects.
#pragma once
#include "textin/group.h"

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

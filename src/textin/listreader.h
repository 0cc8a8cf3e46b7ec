// List-directed input statements: values, separators, null values, repeat
// counts and the slash, read from a sequential text unit.
#pragma once
#include "runtime/items.h"

namespace ListReader {

// Reads the items of `items` (ended by an item of type kTypeEnd) from `unit`.
// Returns 0 when every item was processed or a slash ended the list; -1 at
// end of file with kEndStatusWanted; the error number with kErrStatusWanted.
// Otherwise a failure is reported and the run ends.
int read(int unit, unsigned flags, const InItem* items);

}  // namespace ListReader

// List-directed input statements: values, separators, null values, repeat
// counts and the slash, read from a sequential text unit.
#pragma once
#include <cstdint>

#include "runtime/items.h"
#include "runtime/progress.h"

namespace ListReader {

// Reads the items of `items` (ended by an item of type kTypeEnd) from `unit`.
// Returns 0 when every item was processed or a slash ended the list; -1 at
// end of file with kEndStatusWanted; the error number with kErrStatusWanted.
// Otherwise a failure is reported and the run ends.
// A scalar item whose `base` is null takes its value without storing it: the
// value is scanned and its syntax checked (59, and 64 for a value that is not
// a number), but it is not converted, so a conversion failure (a real that
// overflows, say) goes undetected for that item. Reads that only count
// values use this.
// With `progress`, a rank-1 REAL(4) item tells it every few thousand
// elements how many of its leading elements are stored (other items tell
// nothing): another thread may use those while the statement goes on.
int read(int unit, unsigned flags, const InItem* items, Progress* progress = nullptr);

// Runs read(unit, flags | kEndStatusWanted, items) again and again until a
// statement ends at end of file, and returns how many statements ran before
// that one. The unit and every value stored end as after those statements
// (but for the scan position inside the last record, which the next
// statement never reads); the unit is held across the statements that
// succeed rather than taken for each. With kErrStatusWanted a statement
// whose value fails (59, 64) counts like any other; every other failure
// (the unit cannot be had, a read fails, the buffer cannot grow) is
// reported as `read` reports it without kErrStatusWanted, since repeating
// the statement would meet it again or skip a record unseen: the run ends.
int64_t count_reads(int unit, unsigned flags, const InItem* items);

}  // namespace ListReader

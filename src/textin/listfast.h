// The fast paths of list-directed input: REAL(4) elements taken by the
// plain-decimal conversion, and the count's statements run over whole records.
#pragma once
#include <cstdint>

#include "runtime/items.h"
#include "textin/listvalues.h"

namespace ListFast {

// A REAL(4) element with storage and no pending repeat: a plain decimal by
// the plain-decimal conversion, any other value by the full route. Returns 0
// (also when a slash ends the list) or an error number.
int ReadRealElement(ListScanState& st, void* elem);

// `count` (at least one) REAL(4) elements `stride` bytes apart from `elem`,
// each as ReadRealElement takes it unless a repeat is pending; every few
// thousand elements tells st.progress (when set) how many are stored.
// Returns 0 (also when a slash ends the list) or an error number.
int ReadRealVector(ListScanState& st, char* elem, int64_t count, int64_t stride);

// Whether `items` is one scalar item without storage that a number
// satisfies: the count's statement, which CountValueRecords can run.
bool IsUnstoredNumberItem(const InItem* items);

// Runs, in place, statements of an unstored number item with the error
// status wanted (see IsUnstoredNumberItem): for as long as the read-ahead
// holds, whole, a record with a byte other than a blank and neither a quote
// nor an opening parenthesis, after any blank records. Such a statement
// fetches the blank records and that record, meets a value, a null value,
// a slash or a bad value in it (whose status the caller discards) and ends
// there: a value that could continue over a record end is always quoted
// or parenthesised. Leaves the unit as those statements leave it (the
// position within the last record at its end) and returns how many it
// ran; 0 when the next statement needs the general route. The unit is
// held, connected, formatted and sequential.
int64_t CountValueRecords(UnitBlock* unit);

}  // namespace ListFast

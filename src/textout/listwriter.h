// List-directed output statements: items laid out in the unit's record
// buffer, records handed to the unit one by one.
#pragma once
#include "runtime/items.h"

namespace ListWriter {

// Begins a statement on `unit` and places `first` (null: a statement without
// items). `more` says whether items follow. Returns 0, or the error number
// with kErrStatusWanted in `flags`; otherwise a failure is reported.
int begin(int unit, unsigned flags, const OutItem* first, bool more);

// Places one further item of the statement begun last; ends the statement
// when `more` is false. Returns as begin. Without a statement in progress
// (none begun, or the last one failed) it places nothing and returns the
// status of that failure, or 0.
int put(const OutItem& item, bool more);

}  // namespace ListWriter

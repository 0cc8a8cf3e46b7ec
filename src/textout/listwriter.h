// List-directed output statements: items laid out in the unit's record
// buffer, records handed to the unit one by one.
#pragma once
#include <cstdint>

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

// Runs `count` statements of two REAL(4) items on `unit`, first[j] and
// second[j] in statement j, exactly as begin and put would run them (the
// same records, written at the same points, the same failures); the unit is
// held across the statements rather than taken for each. Returns as begin:
// at the first statement that fails, with kErrStatusWanted, its error.
int write_real_pairs(int unit, unsigned flags, const float* first, const float* second,
                     int64_t count);

// The terminator of the records write_formed_pairs takes as they are on
// `unit`: 0 to 2 bytes into `term`, their count returned, and in *buffered
// whether the unit holds its records for block writes; -1 when the unit is
// not a connected unit that can be written and whose line holds both fields
// (its statements then take the general way, and report what keeps them
// from writing).
int formed_pair_terminator(int unit, char term[2], bool* buffered);

// write_real_pairs with the records formed beforehand: `text` holds record j
// as PairText::form forms it with the terminator of formed_pair_terminator
// (`term_length` bytes), at j times its length. The same records, system
// writes and failures.
int write_formed_pairs(int unit, unsigned flags, const float* first, const float* second,
                       const char* text, int term_length, int64_t count);

}  // namespace ListWriter

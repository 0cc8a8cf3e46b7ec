// The records of statements of two REAL(4) items, formed apart from any
// unit: what the list-directed writer builds on a line that holds both fields.
#pragma once
#include <cstdint>

#include "textout/realtext.h"

namespace PairText {

// The two fields of a record, without its terminator.
constexpr int kFieldsWidth = 2 * RealText::kFieldWidth;

// Forms `count` records at `out`, record j from x[j] and y[j]: the two
// 15-character fields, then the `term_length` (0 to 2) bytes of `term`.
void form(const float* x, const float* y, int64_t count, const char* term, int term_length,
          char* out);

}  // namespace PairText

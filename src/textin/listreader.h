// List-directed input statements: values, separators, null values, repeat
// counts and the slash, read from a sequential text unit.
#pragma once
#include <cstdint>

#include "runtime/items.h"

struct UnitBlock;

// Bits of ListScanState::value_flags: what the current value is.
enum ListValueFlag : uint8_t {
  kValNull = 1u << 0,
  kValLogical = 1u << 1,         // begins with T, F, .T or .F (either case)
  kValIntegerLooking = 1u << 2,  // no decimal point, no exponent letter
  kValNumeric = 1u << 3,
  kValComplex = 1u << 4,  // parenthesised; the token is the real part
  kValQuoted = 1u << 5,
  kValPlainDecimal =
      1u << 6,  // [sign] digits [. digits] [E [sign] digits], short enough for the direct route
};

// Bits of ListScanState::scan_flags.
enum ListScanFlag : uint8_t {
  kScanSlash = 1u << 0,
  kScanDoubleQuote = 1u << 1,
  kScanRepeatPending = 1u << 2,
};

// Bits of ListScanState::record_flags.
enum ListRecordFlag : uint8_t {
  kRecNew = 1u << 0,        // a record began since the last value (or the statement's first)
  kRecCommaSeen = 1u << 1,  // the one comma separator after the last value was consumed
};

// Bits of ListScanState::separator_flags.
enum ListSeparatorFlag : uint8_t {
  kSepDecimalPoint = 1u << 0,  // the current numeric token holds a decimal point
  kSepRecordEnd = 1u << 1,     // a record end after a value acts as a separator
};

// Size of the work buffer for quoted text; a value holds at most one byte less.
constexpr int kListWorkSize = 2050;

// Scanner state of one list-directed statement, cleared at its start.
struct ListScanState {
  UnitBlock* unit = nullptr;
  char* work = nullptr;            // kListWorkSize bytes
  const char* saved_text[2] = {};  // value handed out by a pending repeat; imaginary part
  int32_t saved_len[2] = {};
  int32_t repeat_count = 0;  // further elements that receive the current value
  int32_t pending_error = 0;
  int32_t token_len = 0;
  const char* token_text = nullptr;  // in the record buffer, or in `work` for quoted text
  uint8_t value_flags = 0;
  uint8_t scan_flags = 0;
  uint8_t record_flags = 0;
  uint8_t separator_flags = 0;
  bool value_seen = false;  // a non-blank character was met in this statement
};

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
int read(int unit, unsigned flags, const InItem* items);

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

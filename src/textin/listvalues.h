// Values and separators of a list-directed statement: blanks, record ends,
// commas, null values, repeat counts, the slash, and the token of each value.
#pragma once
#include <cstdint>

#include "runtime/units.h"
#include "textin/numbertoken.h"
#include "runtime/progress.h"
#include "textin/records.h"

// Bits of ListScanState::value_flags: what the current value is.
enum ListValueFlag : uint8_t {
  kValNull = 1u << 0,
  kValLogical = 1u << 1,         // begins with T, F, .T or .F (either case)
  kValIntegerLooking = 1u << 2,  // no decimal point, no exponent letter
  kValNumeric = 1u << 3,
  kValComplex = 1u << 4,  // parenthesised; the token is the real part
  kValQuoted = 1u << 5,
  kValPlainDecimal = 1u << 6,  // TokenKind::kPlain: the plain-decimal conversion takes it
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
  kSepRecordEnd = 1u << 1,  // a record end after a value acts as a separator
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
  bool value_seen = false;       // a non-blank character was met in this statement
  Progress* progress = nullptr;  // told of the REAL(4) vector elements stored, if set
};

namespace ListValues {

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The last non-blank byte before `p` in the record, or 0 when there is none.
inline char PrevNonBlank(const char* start, const char* p) {
  while (p > start) {
    --p;
    if (!IsBlank(*p)) return *p;
  }
  return 0;
}

// Skips blanks and record ends up to the next non-blank byte, applying the
// record-end separator rules. Returns 0 or the fetch error (24 at end of file).
int SkipToValue(ListScanState& st);

// FindValue over blanks, record ends and commas (out of line).
int FindValueAfterSeparators(ListScanState& st);

// Classifies and collects the value that starts at the current (non-blank)
// position. Returns 0 (value or slash) or an error number.
int ScanValue(ListScanState& st, bool allow_repeat);

// A numeric token that the scanner found to be a repeat count or no number:
// the repeat and its value, or the syntax error. Returns 0 or an error number.
int ScanUnusualToken(ListScanState& st, const NumberToken& token, bool allow_repeat);

// Leaves the used-up current record for the next one, applying the
// record-end separator rules. Returns 0 or the fetch error.
inline int NextRecord(ListScanState& st) {
  UnitBlock* u = st.unit;
  if (st.value_seen) {
    st.separator_flags |= kSepRecordEnd;
    if (!(st.record_flags & kRecCommaSeen) && PrevNonBlank(u->record_start, u->record_end) == ',')
      st.record_flags |= kRecCommaSeen;
  }
  int err = FetchRecord(u, true);
  if (err != 0) return err;
  st.record_flags |= kRecNew;
  return 0;
}

// Moves to the start of the next value over blanks, record ends and the
// comma after the last value. Sets value_flags to kValNull when a comma
// gives a null value, to 0 otherwise. Returns 0 or the fetch error.
inline int FindValue(ListScanState& st) {
  UnitBlock* u = st.unit;
  st.value_flags = 0;
  const char* p = u->pos;
  if (p != u->record_end && !IsBlank(*p) && *p != ',') {
    st.value_seen = true;
    return 0;
  }
  return FindValueAfterSeparators(st);
}

// The end of the record buffer when [start, end) lies in it, else end:
// block reads of the record may go on to that point.
inline const char* ReadLimit(const UnitBlock* u, const char* start, const char* end) {
  const char* const buffer_end = u->buffer + u->capacity;
  return u->buffer <= start && end <= buffer_end ? buffer_end : end;
}

// Sets the number `token` that starts at the current position as the
// current value and moves past it.
inline void SetNumericToken(ListScanState& st, const NumberToken& token) {
  UnitBlock* u = st.unit;
  st.token_text = u->pos;
  st.token_len = static_cast<int32_t>(token.end - u->pos);
  st.value_flags = kValNumeric |
                   (token.point == nullptr && token.exponent == nullptr ? kValIntegerLooking : 0) |
                   (token.kind == TokenKind::kPlain ? kValPlainDecimal : 0);
  u->pos += token.end - u->pos;
}

// Collects the numeric token at the current position as the scanner finds
// it, the verdict in *token. Returns 0 (the token set in place) or an error
// number.
inline int ScanNumericToken(ListScanState& st, bool allow_repeat, NumberToken* token) {
  UnitBlock* u = st.unit;
  ScanNumberToken(u->pos, u->record_end, ReadLimit(u, u->pos, u->record_end), token);
  if (token->kind > TokenKind::kGeneral) return ScanUnusualToken(st, *token, allow_repeat);
  SetNumericToken(st, *token);
  return 0;
}

// ScanNumericToken without the verdict.
inline int ScanNumeric(ListScanState& st, bool allow_repeat) {
  NumberToken token;
  return ScanNumericToken(st, allow_repeat, &token);
}

// Collects the value (or slash) at the current non-blank position.
// Returns 0 or an error number.
inline int ScanAt(ListScanState& st, bool allow_repeat = true) {
  // Digits and signs start a numeric token; everything else is classified.
  const CharClass cls = ClassOf(*st.unit->pos);
  return cls == kClsDigit || cls == kClsSign ? ScanNumeric(st, allow_repeat)
                                             : ScanValue(st, allow_repeat);
}

// Separator state after a value: a value clears it, and the record flags
// hold nothing else. The value is kept for a pending repeat.
inline void EndValue(ListScanState& st) {
  st.record_flags = 0;
  if (st.separator_flags & kSepRecordEnd)
    st.separator_flags = static_cast<uint8_t>(st.separator_flags & ~kSepRecordEnd);
  st.saved_text[0] = st.token_text;
  st.saved_len[0] = st.token_len;
}

// Finds the next value (or null value, or slash) of the statement.
// Returns 0 or an error number.
inline int NextValue(ListScanState& st) {
  int err = FindValue(st);
  if (err != 0) return err;
  if (!(st.value_flags & kValNull)) {
    err = ScanAt(st);
    if (err != 0) return err;
  }
  EndValue(st);
  return 0;
}

}  // namespace ListValues

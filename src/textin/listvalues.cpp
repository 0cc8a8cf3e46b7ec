// Values and separators of a list-directed statement: blank runs, record
// ends, commas and null values, repeat counts, complex and quoted values.
#include "textin/listvalues.h"

#include <cstring>

#include "runtime/msg.h"
#include "textin/number.h"

namespace ListValues {
namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline bool IsLogicalLetter(char c) { return c == 'T' || c == 'F' || c == 't' || c == 'f'; }

// High bit of each byte of the result set exactly where the byte of v is 0.
inline uint64_t ZeroBytes(uint64_t v) {
  constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
  return ~(((v & kLow7) + kLow7) | v | kLow7);
}

// True when all eight bytes of w are blanks.
inline bool AllBlank(uint64_t w) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  uint64_t hits = ZeroBytes(w ^ (kOnes * ' ')) | ZeroBytes(w ^ (kOnes * '\t')) |
                  ZeroBytes(w ^ (kOnes * '\r')) | ZeroBytes(w ^ (kOnes * '\n'));
  return hits == 0x8080808080808080ull;
}

// First non-blank byte in [p, end), or end. Runs of blanks go a word at a
// time. Kept out of line: values mostly start right where the scan is.
[[gnu::noinline]] char* SkipBlankRun(char* p, char* end) {
  while (p < end && IsBlank(*p)) {
    ++p;
    while (end - p >= 8) {
      uint64_t w;
      std::memcpy(&w, p, sizeof w);
      if (!AllBlank(w)) break;
      p += 8;
    }
  }
  return p;
}

// First non-blank byte in [p, end), or end.
inline char* SkipBlanks(char* p, char* end) {
  return p < end && IsBlank(*p) ? SkipBlankRun(p, end) : p;
}

// True when the comma at `p` is a null value rather than the separator
// after a value.
bool CommaIsNull(const ListScanState& st, const char* p) {
  if (st.record_flags & kRecNew)
    return !((st.separator_flags & kSepRecordEnd) && !(st.record_flags & kRecCommaSeen));
  if (st.record_flags & kRecCommaSeen) return true;
  return PrevNonBlank(st.unit->record_start, p) == ',';
}

// Skips blanks inside a parenthesised value, over record ends. Before a new
// record replaces the buffer content, the real part moves to the work buffer.
// Returns 0, 59 (real part too long to keep) or the fetch error.
int SkipInComplex(ListScanState& st) {
  UnitBlock* u = st.unit;
  for (;;) {
    u->pos = SkipBlanks(u->pos, u->record_end);
    if (u->pos < u->record_end) return 0;
    if (st.token_text != nullptr && st.token_text != st.work) {
      if (st.token_len >= kListWorkSize) return Code(Msg::kListSyntax);
      std::memcpy(st.work, st.token_text, static_cast<size_t>(st.token_len));
      st.token_text = st.work;
    }
    int err = FetchRecord(u, true);
    if (err != 0) return err;
  }
}

// Handles `r*` and `r*c` where [start, star) is the count. Returns 0 or an
// error (59 without a count or in a repeated value, 64 for a bad count).
int ScanRepeat(ListScanState& st, char* start, char* star, bool allow_repeat) {
  if (!allow_repeat || star == start) return Code(Msg::kListSyntax);
  int32_t count = 0;
  if (TextToInteger(start, star - start, kListIntOptions, &count) != kIntOk)
    return Code(Msg::kConversion);
  st.repeat_count = count > 1 ? count - 1 : 0;
  st.scan_flags |= kScanRepeatPending;
  UnitBlock* u = st.unit;
  char* next = star + 1;
  if (next == u->record_end || *next == ' ' || *next == '\t' || *next == ',') {
    if (next < u->record_end && *next == ',') ++next;
    u->pos = next;
    st.value_flags = kValNull;
    return 0;
  }
  u->pos = next;
  return ScanValue(st, false);
}

// Skips the imaginary part in [p, end): optional sign, then digits with an
// optional fraction and an optional unsigned exponent, or a prefix of
// INFINITY or NAN. Returns the byte after it, or null when malformed.
char* SkipImaginary(char* p, char* end) {
  if (p < end && (*p == '+' || *p == '-')) ++p;
  if (p < end && IsDigit(*p)) {
    while (p < end && IsDigit(*p)) ++p;
    if (p < end && *p == '.')
      for (++p; p < end && IsDigit(*p);) ++p;
    if (p < end && ClassOf(*p) == kClsExponent)
      for (++p; p < end && IsDigit(*p);) ++p;
    return p;
  }
  const char* word = nullptr;
  if (p < end && (*p | 0x20) == 'i') word = "infinity";
  if (p < end && (*p | 0x20) == 'n') word = "nan";
  if (word == nullptr) return nullptr;
  while (p < end && *word != '\0' && (*p | 0x20) == *word) ++p, ++word;
  return p;
}

// Scans "(real, imaginary)" from the opening parenthesis: the real part is
// the value, the imaginary part is checked and dropped. Returns 0 or an error.
int ScanComplex(ListScanState& st) {
  UnitBlock* u = st.unit;
  ++u->pos;
  st.token_text = nullptr;
  int err = SkipInComplex(st);
  if (err != 0) return err;
  if (*u->pos == '(') return Code(Msg::kListSyntax);
  err = ScanNumeric(st, false);
  if (err != 0) return err;
  uint8_t flags = st.value_flags | kValComplex;
  err = SkipInComplex(st);
  if (err != 0) return err;
  if (*u->pos != ',') return Code(Msg::kListSyntax);
  ++u->pos;
  err = SkipInComplex(st);
  if (err != 0) return err;
  char* after = SkipImaginary(u->pos, u->record_end);
  if (after == nullptr) return Code(Msg::kListSyntax);
  st.saved_text[1] = u->pos;
  st.saved_len[1] = static_cast<int32_t>(after - u->pos);
  u->pos = after;
  err = SkipInComplex(st);
  if (err != 0) return err;
  if (*u->pos != ')') return Code(Msg::kListSyntax);
  ++u->pos;
  st.value_flags = flags;
  return 0;
}

// Scans a quoted string into the work buffer; a doubled delimiter stands for
// one; the string may continue over record ends. Returns 0, 59 (longer than
// the work buffer allows) or the fetch error.
int ScanQuoted(ListScanState& st) {
  UnitBlock* u = st.unit;
  const char delim = *u->pos;
  if (delim == '"') st.scan_flags |= kScanDoubleQuote;
  char* p = u->pos + 1;
  size_t n = 0;
  for (;;) {
    char* end = u->record_end;
    char* hit = static_cast<char*>(std::memchr(p, delim, static_cast<size_t>(end - p)));
    size_t take = static_cast<size_t>((hit != nullptr ? hit : end) - p);
    if (n + take >= kListWorkSize) return Code(Msg::kListSyntax);
    std::memcpy(st.work + n, p, take);
    n += take;
    if (hit != nullptr && hit + 1 < end && hit[1] == delim) {
      if (n + 1 >= kListWorkSize) return Code(Msg::kListSyntax);
      st.work[n++] = delim;
      p = hit + 2;
      continue;
    }
    if (hit != nullptr) {
      u->pos = hit + 1;
      break;
    }
    u->pos = end;
    int err = FetchRecord(u, true);
    if (err != 0) return err;
    p = u->pos;
  }
  st.token_text = st.work;
  st.token_len = static_cast<int32_t>(n);
  st.value_flags = kValQuoted;
  return 0;
}

}  // namespace

int SkipToValue(ListScanState& st) {
  UnitBlock* u = st.unit;
  for (;;) {
    u->pos = SkipBlanks(u->pos, u->record_end);
    if (u->pos < u->record_end) {
      st.value_seen = true;
      return 0;
    }
    int err = NextRecord(st);
    if (err != 0) return err;
  }
}

int ScanValue(ListScanState& st, bool allow_repeat) {
  UnitBlock* u = st.unit;
  char* p = u->pos;
  switch (*p) {
    case '/':
      u->pos = p + 1;
      st.scan_flags |= kScanSlash;
      return 0;
    case '(': return ScanComplex(st);
    case ')': return Code(Msg::kListSyntax);
    case '\'':
    case '"': return ScanQuoted(st);
    default: break;
  }
  if (IsLogicalLetter(*p) || (*p == '.' && p + 1 < u->record_end && IsLogicalLetter(p[1]))) {
    char* end = p + (WordEnd(p, u->record_end) - p);
    st.token_text = p;
    st.token_len = static_cast<int32_t>(end - p);
    st.value_flags = kValLogical;
    u->pos = end;
    return 0;
  }
  return ScanNumeric(st, allow_repeat);
}

// FindValue over blanks, record ends and commas. Kept out of line so that
// a value right at the current position needs no register saves.
[[gnu::noinline]] int FindValueAfterSeparators(ListScanState& st) {
  UnitBlock* u = st.unit;
  for (;;) {
    char* p = u->pos;
    if (p == u->record_end || IsBlank(*p)) {
      int err = SkipToValue(st);
      if (err != 0) return err;
      p = u->pos;
    } else {
      st.value_seen = true;
    }
    if (*p != ',') return 0;
    bool null_value = CommaIsNull(st, p);
    u->pos = p + 1;
    if (null_value) {
      st.value_flags = kValNull;
      return 0;
    }
    st.record_flags |= kRecCommaSeen;
  }
}

int ScanUnusualToken(ListScanState& st, const NumberToken& token, bool allow_repeat) {
  if (token.kind == TokenKind::kRepeat) {
    char* const star = st.unit->pos + (token.end - st.unit->pos);
    return ScanRepeat(st, st.unit->pos, star, allow_repeat);
  }
  return Code(Msg::kListSyntax);
}

}  // namespace ListValues

// List-directed input statements: separators, null values, repeat counts and
// the slash, with each value assigned by item type from its text in place.
#include "textin/listreader.h"

#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/msg.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/decimal.h"
#include "textin/number.h"
#include "textin/records.h"

namespace ListReader {
namespace {

constexpr int kMaxRank = 7;
// Longest token taken by the direct conversion route (19 characters at most).
constexpr int kPlainDecimalMax = 19;

// Work buffer for quoted text (and for a complex real part that must outlive
// its record); one per thread, since a statement holds its unit's lock.
thread_local char t_work[kListWorkSize];

// Character classes of numeric token collection.
enum CharClass : uint8_t {
  kClsOther = 0,  // not allowed in a numeric token
  kClsDigit,
  kClsSign,
  kClsDot,
  kClsExponent,  // E D Q e d q
  kClsSpecial,   // I N i n: start of an infinity or NaN spelling
  kClsStar,
  kClsEnd,  // blank, tab, comma, slash, closing parenthesis
};

constexpr std::array<uint8_t, 256> MakeClassTable() {
  std::array<uint8_t, 256> t{};
  for (int c = '0'; c <= '9'; ++c) t[c] = kClsDigit;
  t['+'] = t['-'] = kClsSign;
  t['.'] = kClsDot;
  for (char c : {'E', 'D', 'Q', 'e', 'd', 'q'}) t[static_cast<uint8_t>(c)] = kClsExponent;
  for (char c : {'I', 'N', 'i', 'n'}) t[static_cast<uint8_t>(c)] = kClsSpecial;
  t['*'] = kClsStar;
  for (char c : {' ', '\t', ',', '/', ')'}) t[static_cast<uint8_t>(c)] = kClsEnd;
  return t;
}
constexpr std::array<uint8_t, 256> kClass = MakeClassTable();

inline CharClass ClassOf(char c) { return static_cast<CharClass>(kClass[static_cast<uint8_t>(c)]); }
inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
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

// The last non-blank byte before `p` in the record, or 0 when there is none.
char PrevNonBlank(const char* start, const char* p) {
  while (p > start) {
    --p;
    if (!IsBlank(*p)) return *p;
  }
  return 0;
}

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

// Skips blanks and record ends up to the next non-blank byte, applying the
// record-end separator rules. Returns 0 or the fetch error (24 at end of file).
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

// End of a logical value or an infinity/NaN spelling: blank, tab, comma,
// slash, closing parenthesis or the record end.
char* WordEnd(char* p, char* end) {
  while (p < end && ClassOf(*p) != kClsEnd) ++p;
  return p;
}

int ScanValue(ListScanState& st, bool allow_repeat);

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

// Sets the numeric token [start, p) as the current value and moves past it.
void SetNumericToken(ListScanState& st, char* start, char* p, bool dot, bool exponent, bool plain) {
  st.token_text = start;
  st.token_len = static_cast<int32_t>(p - start);
  st.value_flags = kValNumeric | (!dot && !exponent ? kValIntegerLooking : 0);
  if (plain && p - start <= kPlainDecimalMax) st.value_flags |= kValPlainDecimal;
  if (dot) st.separator_flags |= kSepDecimalPoint;
  else st.separator_flags &= static_cast<uint8_t>(~kSepDecimalPoint);
  st.unit->pos = p;
}

// The first byte in [p, end) that is not a decimal digit, or end. `limit`
// (at or after end) bounds the memory that may be read: runs go eight bytes
// at a time while eight bytes remain before it, bytes past end never count.
inline char* SkipDigits(char* p, char* end, const char* limit) {
  constexpr uint64_t kZeros = 0x3030303030303030ull;
  constexpr uint64_t kLowNibbles = 0x0F0F0F0F0F0F0F0Full;
  constexpr uint64_t kHighNibbles = 0xF0F0F0F0F0F0F0F0ull;
  constexpr uint64_t kSixes = 0x0606060606060606ull;
  while (p < end && limit - p >= 8) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    // A byte of x is 0..9 exactly for a digit; other bytes get a bit in
    // their high nibble, from x itself or from adding 6 to its low nibble.
    const uint64_t x = w ^ kZeros;
    const uint64_t other = (x | ((x & kLowNibbles) + kSixes)) & kHighNibbles;
    if (other != 0) {
      p += std::countr_zero(other) >> 3;
      return p < end ? p : end;
    }
    p += 8;
  }
  if (p > end) return end;
  while (p < end && IsDigit(*p)) ++p;
  return p;
}

// The common token shape [sign] digits [. digits] [E|e [sign] digits] with
// at least one significand digit and, after an exponent letter, at least one
// exponent digit, ended by a value end. Returns the end of the token, or null
// for any other shape (the general scan then decides). Needs p < end.
char* PlainDecimalEnd(char* p, char* end, const char* limit, bool* dot, bool* exponent) {
  // Signed and unsigned values alternate unpredictably: no branch on the sign.
  p += ClassOf(*p) == kClsSign;
  char* digits = p;
  p = SkipDigits(p, end, limit);
  bool any_digit = p != digits;
  if (p < end && *p == '.') {
    *dot = true;
    digits = ++p;
    p = SkipDigits(p, end, limit);
    any_digit |= p != digits;
  }
  if (!any_digit) return nullptr;
  if (p < end && (*p | 0x20) == 'e') {
    *exponent = true;
    ++p;
    if (p < end && ClassOf(*p) == kClsSign) ++p;
    digits = p;
    p = SkipDigits(p, end, limit);
    if (p == digits) return nullptr;
  }
  if (p < end && ClassOf(*p) != kClsEnd) return nullptr;
  return p;
}

#if defined(__SSE2__)
// Bit i set where byte i of `bytes` equals c.
inline unsigned Matches(__m128i bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// PlainDecimalEnd decided from the 16 bytes at p (all readable, p < end)
// with a handful of vector compares and no branch per byte, for a token
// shorter than 16 bytes. Returns null when the token has another shape or
// may be longer (PlainDecimalEnd then decides).
char* PlainDecimalEndInBlock(char* p, char* end, bool* dot, bool* exponent) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const unsigned digits = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset)));
  const unsigned dots = Matches(bytes, '.');
  const unsigned signs = Matches(bytes, '+') | Matches(bytes, '-');
  const unsigned letters = Matches(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'e');
  // The token is the run of bytes that may appear in a plain decimal; bytes
  // past the record end belong to no token.
  const ptrdiff_t room = end - p;
  const unsigned inside = room >= 16 ? 0xFFFFu : (1u << room) - 1;
  const int len = std::countr_one((digits | dots | signs | letters) & inside);
  if (len == 16 || (len < room && ClassOf(p[len]) != kClsEnd)) return nullptr;
  const unsigned token = (1u << len) - 1;
  const unsigned d = digits & token, point = dots & token, s = signs & token, e = letters & token;
  const unsigned significand = e != 0 ? e - 1 : token;  // the bytes before the exponent letter
  const bool plain = (point & (point - 1)) == 0 && (e & (e - 1)) == 0 &&  // at most one of each
                     (s & ~(1u | e << 1)) == 0 &&  // signs lead the token or follow the letter
                     (point & ~significand) == 0 && (d & significand) != 0 &&
                     (e == 0 || (d & ~significand) != 0);  // exponent digits after the letter
  if (!plain) return nullptr;
  *dot = point != 0;
  *exponent = e != 0;
  return p + len;
}
#endif

// Collects the numeric token that starts at `start` with the full rules:
// repeat counts, infinity and NaN spellings, any exponent letter. Returns 0
// (the token set in place) or an error number.
int ScanNumericGeneral(ListScanState& st, char* start, bool allow_repeat) {
  char* const end = st.unit->record_end;
  char* p = start;
  bool expecting_digit = true, last_sign = false, special = false;
  bool dot = false, exponent = false;
  while (p < end && !special) {
    CharClass cls = ClassOf(*p);
    if (cls == kClsEnd) break;
    switch (cls) {
      case kClsDigit: expecting_digit = false; break;
      case kClsSign:
        if (last_sign) return Code(Msg::kListSyntax);
        expecting_digit = true;
        break;
      case kClsDot:
        if (dot) return Code(Msg::kListSyntax);
        dot = true;
        break;
      case kClsExponent:
        if (exponent || expecting_digit) return Code(Msg::kListSyntax);
        exponent = true;
        break;
      case kClsSpecial:
        if (!(p == start || (p == start + 1 && ClassOf(*start) == kClsSign)))
          return Code(Msg::kListSyntax);
        special = true;
        p = WordEnd(p, end);
        continue;
      case kClsStar: return ScanRepeat(st, start, p, allow_repeat);
      default: return Code(Msg::kListSyntax);
    }
    last_sign = cls == kClsSign;
    ++p;
  }
  if (expecting_digit && !special) return Code(Msg::kListSyntax);
  SetNumericToken(st, start, p, dot, exponent, false);
  return 0;
}

// The end of the record buffer when [start, end) lies in it, else end:
// word-at-a-time reads of the record may go on to that point.
inline const char* ReadLimit(const UnitBlock* u, const char* start, const char* end) {
  const char* const buffer_end = u->buffer + u->capacity;
  return u->buffer <= start && end <= buffer_end ? buffer_end : end;
}

// ScanNumeric for a token that the one-block look did not take: a longer
// plain decimal, or any other shape by the general scan. Kept out of line
// so that the common case needs no register saves.
[[gnu::noinline]] int ScanNumericSlow(ListScanState& st, bool allow_repeat) {
  UnitBlock* u = st.unit;
  char* const start = u->pos;
  char* const end = u->record_end;
  bool dot = false, exponent = false;
  char* plain_end = PlainDecimalEnd(start, end, ReadLimit(u, start, end), &dot, &exponent);
  if (plain_end == nullptr) return ScanNumericGeneral(st, start, allow_repeat);
  SetNumericToken(st, start, plain_end, dot, exponent, true);
  return 0;
}

// Collects the numeric token at the current position: a plain decimal
// directly, anything else by the general scan. Returns 0 (the token set in
// place) or an error number.
inline int ScanNumeric(ListScanState& st, bool allow_repeat) {
#if defined(__SSE2__)
  UnitBlock* u = st.unit;
  char* const start = u->pos;
  char* const end = u->record_end;
  if (ReadLimit(u, start, end) - start >= 16) {
    bool dot = false, exponent = false;
    if (char* plain_end = PlainDecimalEndInBlock(start, end, &dot, &exponent)) {
      SetNumericToken(st, start, plain_end, dot, exponent, true);
      return 0;
    }
  }
#endif
  return ScanNumericSlow(st, allow_repeat);
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

// Classifies and collects the value that starts at the current (non-blank)
// position. Returns 0 (value or slash) or an error number.
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
    char* end = WordEnd(p, u->record_end);
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

// Collects the value (or slash) at the current non-blank position.
// Returns 0 or an error number.
int ScanAt(ListScanState& st) {
  // Digits and signs start a numeric token; everything else is classified.
  CharClass cls = ClassOf(*st.unit->pos);
  return cls == kClsDigit || cls == kClsSign ? ScanNumeric(st, true) : ScanValue(st, true);
}

// Separator state after a value: a value clears it, and the record flags
// hold nothing else. The value is kept for a pending repeat.
void EndValue(ListScanState& st) {
  st.record_flags = 0;
  if (st.separator_flags & kSepRecordEnd)
    st.separator_flags = static_cast<uint8_t>(st.separator_flags & ~kSepRecordEnd);
  st.saved_text[0] = st.token_text;
  st.saved_len[0] = st.token_len;
}

// Finds the next value (or null value, or slash) of the statement.
// Returns 0 or an error number.
int NextValue(ListScanState& st) {
  int err = FindValue(st);
  if (err != 0) return err;
  if (!(st.value_flags & kValNull)) {
    err = ScanAt(st);
    if (err != 0) return err;
  }
  EndValue(st);
  return 0;
}

// Whether the plain decimal token [p, end) holds a decimal point (*dot) and
// an exponent letter (*exponent). `limit` (at or after end) bounds the memory
// that may be read: words of eight bytes while they lie before it, bytes past
// end never count. Of the bytes such a token holds (digits, signs, '.', 'E'
// and 'e') only the exponent letters have bit 6 set.
void PlainTokenShape(const char* p, const char* end, const char* limit, bool* dot, bool* exponent) {
#if defined(__SSE2__)
  if (end - p <= 16 && limit - p >= 16) {
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned token = (1u << (end - p)) - 1;
    *dot = (Matches(bytes, '.') & token) != 0;
    *exponent = (Matches(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'e') & token) != 0;
    return;
  }
#endif
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  uint64_t dots = 0, letters = 0;
  while (p < end && limit - p >= 8) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    const uint64_t keep = end - p >= 8 ? ~0ull : (1ull << (8 * (end - p))) - 1;
    dots |= ZeroBytes(w ^ (kOnes * '.')) & keep;
    letters |= w & (kOnes * 0x40) & keep;
    p += 8;
  }
  for (; p < end; ++p) {
    dots |= *p == '.';
    letters |= *p & 0x40;
  }
  *dot = dots != 0;
  *exponent = letters != 0;
}

// Takes the value at the current position by the direct route alone: a
// plain decimal that starts with a digit or a decimal point after an
// optional sign, is at most kPlainDecimalMax bytes long, ends at a value
// end and is taken whole by DecimalToSingle, as by std::from_chars.
// Such text is exactly what ScanNumeric marks kValPlainDecimal and Assign
// then converts the same way, so the value and the scanner state match
// that route. Stores the value in *value, sets the token as SetNumericToken
// does and returns true; returns false with nothing changed otherwise.
bool TakePlainReal(ListScanState& st, float* value) {
  UnitBlock* u = st.unit;
  char* const start = u->pos;
  char* const end = u->record_end;
  const char lead = *start;
  const bool sign = lead == '+' || lead == '-';
  const char* const first = start + sign;
  if (first == end || !(IsDigit(*first) || *first == '.')) return false;
  // The conversion takes no '+'. It never needs to look further than one
  // byte past the longest token this route takes.
  const char* const last = end - start > kPlainDecimalMax ? start + kPlainDecimalMax + 1 : end;
  float f = 0;
  std::from_chars_result r = DecimalToSingle(start + (lead == '+'), last, &f);
  if (r.ec != std::errc() || r.ptr - start > kPlainDecimalMax) return false;
  char* const token_end = start + (r.ptr - start);
  if (token_end != end && ClassOf(*token_end) != kClsEnd) return false;
  bool dot = false, exponent = false;
  PlainTokenShape(start, token_end, ReadLimit(u, start, end), &dot, &exponent);
  SetNumericToken(st, start, token_end, dot, exponent, true);
  *value = f;
  return true;
}

// A double truncated toward zero; outside the 32-bit range, or NaN, gives
// the most negative value.
int32_t TruncateToInt32(double d) {
  if (!(d > -2147483649.0 && d < 2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(d);
}

// Converts a plain decimal token ([sign] digits [. digits]) straight with the
// library's conversion (DecimalToSingle): for such text it is the value that
// TextToSingle gives, without its general scan. Returns false when the
// library does not take the whole token (the caller then uses TextToSingle).
bool PlainDecimalToSingle(const char* text, int32_t len, float* dest) {
  const char* end = text + len;
  if (*text == '+') ++text;
  std::from_chars_result r = DecimalToSingle(text, end, dest);
  return r.ec == std::errc() && r.ptr == end;
}

// Assigns the current value to the element at `elem` of type `type`.
// Returns 0 or 64.
int Assign(const ListScanState& st, int type, void* elem) {
  if (st.value_flags & kValNull) return 0;
  if (!(st.value_flags & kValNumeric)) return Code(Msg::kConversion);
  // An item without storage: the value's syntax was checked, nothing is converted.
  if (elem == nullptr) return type == kTypeReal4 || type == kTypeInt32 ? 0 : Code(Msg::kConversion);
  switch (type) {
    case kTypeReal4: {
      float f = 0;
      if ((st.value_flags & kValPlainDecimal) &&
          PlainDecimalToSingle(st.token_text, st.token_len, &f)) {
        std::memcpy(elem, &f, sizeof f);
        return 0;
      }
      int digits = (st.separator_flags & kSepDecimalPoint) ? ItemConversionCode(type).digits : 0;
      int status = TextToSingle(st.token_text, st.token_len, 0, digits, kListRealOptions, &f);
      std::memcpy(elem, &f, sizeof f);
      return status == kRealOk ? 0 : Code(Msg::kConversion);
    }
    case kTypeInt32: {
      int32_t v = 0;
      if (st.value_flags & kValIntegerLooking) {
        int status = TextToInteger(st.token_text, st.token_len, kListIntOptions, &v);
        std::memcpy(elem, &v, sizeof v);
        return status == kIntOk ? 0 : Code(Msg::kConversion);
      }
      double d = 0;
      if (TextToDouble(st.token_text, st.token_len, 0, 0, kListRealOptions, &d) != kRealOk)
        return Code(Msg::kConversion);
      v = TruncateToInt32(d);
      std::memcpy(elem, &v, sizeof v);
      return 0;
    }
    default: return Code(Msg::kConversion);
  }
}

// A REAL(4) element with storage and no pending repeat: the direct route
// when it takes the value, the general scan and Assign otherwise. Returns
// 0 (also when a slash ends the list) or an error number.
int ReadRealElement(ListScanState& st, void* elem) {
  // Mostly the last value used up its record and this one starts the next:
  // the first step of FindValue then goes here without a further call.
  if (st.unit->pos == st.unit->record_end) {
    int err = NextRecord(st);
    if (err != 0) return err;
  }
  int err = FindValue(st);
  if (err != 0) return err;
  if (!(st.value_flags & kValNull)) {
    float f = 0;
    if (TakePlainReal(st, &f)) {
      EndValue(st);
      std::memcpy(elem, &f, sizeof f);
      return 0;
    }
    err = ScanAt(st);
    if (err != 0) return err;
  }
  EndValue(st);
  if (st.scan_flags & kScanSlash) return 0;
  return Assign(st, kTypeReal4, elem);
}

// What Assign gives for an element without storage: 0 for a null value or
// a number taken by REAL(4) or INTEGER(4), 64 otherwise.
int CheckUnstored(const ListScanState& st, int type) {
  if (st.value_flags & kValNull) return 0;
  if (!(st.value_flags & kValNumeric)) return Code(Msg::kConversion);
  return type == kTypeReal4 || type == kTypeInt32 ? 0 : Code(Msg::kConversion);
}

// One list element: a pending repeat, or the next value. Returns 0 (also
// when a slash ends the list) or an error number.
inline int ReadElement(ListScanState& st, int type, void* elem) {
  if (st.repeat_count >= 1) {
    --st.repeat_count;
    return Assign(st, type, elem);
  }
  if (type == kTypeReal4 && elem != nullptr) return ReadRealElement(st, elem);
  int err = NextValue(st);
  if (err != 0 || (st.scan_flags & kScanSlash)) return err;
  return elem == nullptr ? CheckUnstored(st, type) : Assign(st, type, elem);
}

// The elements of a rank-1 array item with `count` (at least one) elements
// `stride` bytes apart from `elem`. Returns 0 or an error number.
int ReadVector(ListScanState& st, int type, char* elem, int64_t count, int64_t stride) {
  const bool real = type == kTypeReal4 && elem != nullptr;
  for (int64_t i = 0; i < count; ++i, elem += stride) {
    int err = real && st.repeat_count < 1 ? ReadRealElement(st, elem) : ReadElement(st, type, elem);
    if (err != 0 || (st.scan_flags & kScanSlash)) return err;
  }
  return 0;
}

// The elements of an array item in storage order (first index fastest).
// Returns 0 or an error number.
int ReadArray(ListScanState& st, const InItem& item) {
  if (item.rank == 1) {
    const int64_t count = item.dims[0].upper - item.dims[0].lower + 1;
    if (count <= 0) return 0;
    return ReadVector(st, item.type, static_cast<char*>(item.base), count, item.dims[0].stride);
  }
  int rank = item.rank > kMaxRank ? kMaxRank : item.rank;
  int64_t extent[kMaxRank], index[kMaxRank];
  for (int d = 0; d < rank; ++d) {
    extent[d] = item.dims[d].upper - item.dims[d].lower + 1;
    if (extent[d] <= 0) return 0;
    index[d] = 0;
  }
  char* elem = static_cast<char*>(item.base);
  for (;;) {
    int err = ReadElement(st, item.type, elem);
    if (err != 0 || (st.scan_flags & kScanSlash)) return err;
    int d = 0;
    for (; d < rank; ++d) {
      elem += item.dims[d].stride;
      if (++index[d] < extent[d]) break;
      elem -= extent[d] * item.dims[d].stride;
      index[d] = 0;
    }
    if (d == rank) return 0;
  }
}

// Checks that `unit` can take a list-directed read, connecting a
// preconnected unit at its first use. Returns 0 or an error number.
int CheckUnit(UnitBlock* unit) {
  if (!(unit->flags & kUnitConnected)) {
    if (!(unit->flags & kUnitPreconnected)) {
      unit->last_error = EBADF;
      return Code(Msg::kReadFailed);
    }
    int err = ConnectDefaultUnit(unit);
    if (err != 0) return err;
  }
  if (unit->flags & kUnitUnformatted) return Code(Msg::kUnformattedUnit);
  if (unit->flags & kUnitDirect) return Code(Msg::kDirectUnit);
  return 0;
}

// Whether the items take no element at all: arrays without elements only.
// An empty list is not such a statement: it skips one record.
bool TakesNoElement(const InItem* items) {
  if (items->type == kTypeEnd) return false;
  for (const InItem* item = items; item->type != kTypeEnd; ++item) {
    if (item->rank == 0) return false;
    bool empty = false;
    for (int d = 0; d < item->rank && d < kMaxRank; ++d)
      empty = empty || item->dims[d].upper < item->dims[d].lower;
    if (!empty) return false;
  }
  return true;
}

// One statement on the held `unit`: the first record, then every item.
// Returns 0 (also when a slash ended the list) or an error number; the unit
// stays held either way.
int ReadHeld(UnitBlock* unit, const InItem* items) {
  int err = CheckUnit(unit);
  if (err == 0) err = FetchRecord(unit, true);
  if (err != 0) return err;
  ListScanState st;
  st.unit = unit;
  st.work = t_work;
  st.record_flags = kRecNew;
  // A statement that takes no element still needs a value to stand at: blank
  // records up to the end of the file are an end of file, as for an empty
  // file, and not a statement that succeeds without having read.
  if (TakesNoElement(items)) return SkipToValue(st);
  for (const InItem* item = items; item->type != kTypeEnd; ++item) {
    err = item->rank == 0 ? ReadElement(st, item->type, item->base) : ReadArray(st, *item);
    if (err != 0) return err;
    if (st.scan_flags & kScanSlash) break;
  }
  return 0;
}

// Whether `items` is one scalar item without storage that a number
// satisfies: the count's statement, which CountValueRecords can run.
bool IsUnstoredNumberItem(const InItem* items) {
  return items[0].rank == 0 && items[0].base == nullptr &&
         (items[0].type == kTypeReal4 || items[0].type == kTypeInt32) && items[1].type == kTypeEnd;
}

#if defined(__SSE2__)
// The bytes of 64 at p, one bit each: terminators, bytes that are neither
// blanks nor terminators, and quotes and opening parentheses.
struct RecordMasks {
  uint64_t ends, values, special;
};

inline RecordMasks ClassifyRecords(const char* p, char term) {
  RecordMasks m{0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const unsigned ends = Matches(b, term);
    const unsigned blanks =
        Matches(b, ' ') | Matches(b, '\t') | Matches(b, '\r') | Matches(b, '\n');
    const unsigned special = Matches(b, '\'') | Matches(b, '"') | Matches(b, '(');
    m.ends |= uint64_t{ends} << (16 * i);
    m.values |= uint64_t{~(blanks | ends) & 0xFFFFu} << (16 * i);
    m.special |= uint64_t{special & ~ends} << (16 * i);
  }
  return m;
}

// Bits i..63 (none for i = 64).
inline uint64_t BitsFrom(int i) { return i >= 64 ? 0 : ~uint64_t{0} << i; }
#endif

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
int64_t CountValueRecords(UnitBlock* unit) {
#if defined(__SSE2__)
  char* const first = unit->readahead;
  const size_t have = unit->readahead_len;
  const char* const buffer_end = unit->buffer + unit->capacity;
  if (first < unit->buffer || first > buffer_end) return 0;
  const char term = static_cast<char>(unit->terminator);
  int64_t statements = 0;
  uint64_t records = 0, pending_records = 0;  // fetched; blank ones not yet taken by a statement
  size_t consumed = 0;                        // bytes of the statements run
  size_t last_start = 0, last_end = 0;        // the last record of the last statement
  size_t record_start = 0;                    // of the record being scanned
  bool value = false, special = false;        // in that record so far
  for (size_t off = 0; off < have && buffer_end - (first + off) >= 64; off += 64) {
    const RecordMasks m = ClassifyRecords(first + off, term);
    const uint64_t inside = have - off >= 64 ? ~uint64_t{0} : (uint64_t{1} << (have - off)) - 1;
    uint64_t ends = m.ends & inside;
    int from = 0;  // first bit of the record being scanned in this block
    while (ends != 0) {
      const int t = std::countr_zero(ends);
      const uint64_t record = BitsFrom(from) & ~BitsFrom(t);
      value = value || (m.values & record) != 0;
      special = special || (m.special & record) != 0;
      if (special) goto done;
      ++pending_records;
      if (value) {
        ++statements;
        records += pending_records;
        pending_records = 0;
        last_start = record_start;
        last_end = off + static_cast<size_t>(t);
        consumed = last_end + 1;
      }
      record_start = off + static_cast<size_t>(t) + 1;
      value = false;
      from = t + 1;
      ends &= ends - 1;
    }
    value = value || (m.values & BitsFrom(from) & inside) != 0;
    special = special || (m.special & BitsFrom(from) & inside) != 0;
  }
done:
  if (statements == 0) return 0;
  char* const start = first + last_start;
  char* end = first + last_end;
  while (end > start && end[-1] == '\r') --end;
  unit->record_start = start;
  unit->record_end = unit->pos = end;
  unit->readahead = first + consumed;
  unit->readahead_len = static_cast<uint32_t>(have - consumed);
  unit->file_position += static_cast<int64_t>(consumed);
  unit->record_counter += records;
  return statements;
#else
  (void)unit;
  return 0;
#endif
}

}  // namespace

int read(int number, unsigned flags, const InItem* items) {
  StatementUnit statement(number, flags);
  if (!statement.held()) return statement.status();
  if (const int err = ReadHeld(statement.unit(), items)) return statement.Fail(err);
  return statement.Done();
}

int64_t count_reads(int number, unsigned flags, const InItem* items) {
  flags |= kEndStatusWanted;
  int64_t count = 0;
  for (;;) {
    StatementUnit statement(number, flags & ~kErrStatusWanted);
    if (!statement.held()) return count;  // reported without the error status: the run has ended
    // Statements that succeed keep the unit; a failure gives it up, and so
    // does a console event waiting for the end of the statements.
    UnitBlock* const unit = statement.unit();
    const bool plain_records = (flags & kErrStatusWanted) && IsUnstoredNumberItem(items) &&
                               (unit->flags & kUnitConnected) &&
                               !(unit->flags & (kUnitUnformatted | kUnitDirect));
    int err = 0;
    for (;;) {
      if (plain_records) count += CountValueRecords(unit);
      if ((err = ReadHeld(unit, items)) != 0) break;
      ++count;
      if (PendingActionWaiting()) break;
    }
    if (err == 0) continue;  // the unit is handed back as `statement` ends
    // A value that fails (59, 64) has used up its record and counts. A
    // failure of the file or the unit (a read that failed, a buffer that
    // cannot grow) would only come back at the next statement, or skip a
    // record unseen: it is reported as without kErrStatusWanted.
    const bool value_error = err == Code(Msg::kListSyntax) || err == Code(Msg::kConversion);
    statement.set_flags(value_error ? flags : flags & ~kErrStatusWanted);
    const int ios = statement.Fail(err);
    if (ios == kStatusEndOfFile || !value_error) return count;
    ++count;
  }
}

}  // namespace ListReader

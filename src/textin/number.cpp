// Number text to values: 32-bit integers from decimal digits, and single and
// double precision from decimal text, correctly rounded (nearest, ties to even).
#include "textin/number.h"

#include <bit>
#include <charconv>
#include <cstdint>
#include <limits>
#include <system_error>
#include <type_traits>

namespace {

// ---------------------------------------------------------------------------
// Integers

constexpr unsigned kIntKnownOptions =
    kIntTabAsBlank | kIntBlanksIgnored | kIntUnderscoreIgnored | kIntBlankAsZero | kIntReserved;

// Moves `p` past leading spaces (and tabs with kIntTabAsBlank). Returns false
// when a tab stands there without that option.
bool SkipIntegerBlanks(const char*& p, const char* end, unsigned options) {
  for (; p < end; ++p) {
    if (*p == ' ') continue;
    if (*p != '\t') return true;
    if (!(options & kIntTabAsBlank)) return false;
  }
  return true;
}

// The digit value of `c` (0..15), or -1 for a character that is not a digit.
int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  unsigned lower = static_cast<unsigned char>(c) | 0x20u;
  if (lower >= 'a' && lower <= 'f') return static_cast<int>(lower - 'a') + 10;
  return -1;
}

// ---------------------------------------------------------------------------
// Reals: the scanner

// Significant digits kept for the exact conversion. The exact decimal form of
// a point halfway between two adjacent doubles has at most 767 significant
// digits, so a value cut after 800 digits, with one non-zero digit appended
// when anything non-zero was cut, rounds exactly like the full value.
constexpr int kKeptDigits = 800;
// Kept digits, the sticky digit, 'e', a sign and four exponent digits.
constexpr int kDigitBufferSize = kKeptDigits + 1 + 1 + 1 + 4;

enum class RealForm { kNumber, kInfinity, kNaN };

// What the scanner found. The significand is 0.d1 d2 ... dk x 10^point_exp,
// digits '1'..'9' first (leading zeros dropped), times 10^exponent.
struct RealScan {
  RealForm form = RealForm::kNumber;
  bool negative = false;
  bool explicit_plus = false;
  bool any_digit = false;  // a significand digit, zero or not, was seen
  bool had_point = false;
  bool had_exponent = false;  // an exponent letter or a sign-only exponent
  bool sticky = false;        // non-zero digits beyond kKeptDigits were cut
  int exponent_range = 0;     // +1 / -1: more than 6 significant exponent digits
  int kept = 0;               // digits stored in the buffer
  int64_t point_exp = 0;
  int64_t exponent = 0;
  bool trailing = false;  // text left after the number
};

bool IsLeadingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) { return static_cast<char>(static_cast<unsigned char>(c) | 0x20u); }

// Case-insensitive count of the leading characters of [p, end) that match
// `word` (lower case).
int MatchWord(const char* p, const char* end, const char* word) {
  int n = 0;
  while (word[n] != '\0' && p + n < end && Lower(p[n]) == word[n]) ++n;
  return n;
}

// Moves `p` past a parenthesised group of letters, digits and '_' that
// follows a NaN; leaves it unchanged when no complete group stands there.
void SkipNaNTail(const char*& p, const char* end) {
  if (p >= end || *p != '(') return;
  const char* q = p + 1;
  while (q < end) {
    char c = *q;
    bool word_char = (c >= '0' && c <= '9') || (Lower(c) >= 'a' && Lower(c) <= 'z') || c == '_';
    if (!word_char) break;
    ++q;
  }
  if (q < end && *q == ')') p = q + 1;
}

// True when `c` introduces an exponent under `options`.
bool IsExponentLetter(char c, unsigned options) {
  char l = Lower(c);
  if (l == 'e') return true;
  if (options & kRealOnlyE) return false;
  return l == 'd' || l == 'q';
}

// Reads the digits of an exponent (after its letter and sign) from `p`.
// Leading zeros are ignored; more than 6 significant digits set
// `exponent_range` to +1 or -1 by the sign.
void ScanExponentDigits(const char*& p, const char* end, bool minus, RealScan& s) {
  while (p < end && *p == '0') ++p;
  int64_t value = 0;
  int significant = 0;
  for (; p < end; ++p) {
    unsigned d = static_cast<unsigned>(static_cast<unsigned char>(*p) - '0');
    if (d > 9) break;
    if (++significant <= 6) value = value * 10 + d;
  }
  if (significant > 6) s.exponent_range = minus ? -1 : 1;
  s.exponent = minus ? -value : value;
}

// Reads digits with at most one decimal point into `digits`. Works on
// locals: stores through `digits` could otherwise alias the fields of `s`.
void ScanSignificand(const char*& pos, const char* end, unsigned options, RealScan& s,
                     char* digits) {
  const char point = (options & kRealDecimalComma) ? ',' : '.';
  const char* p = pos;
  bool had_point = false;
  bool any_digit = false;
  bool sticky = false;
  int kept = 0;
  int64_t point_exp = 0;
  // Leading zeros, before and after the point, only move the point.
  for (; p < end; ++p) {
    if (*p == '0') {
      any_digit = true;
      if (had_point) --point_exp;
    } else if (*p == point && !had_point) {
      had_point = true;
    } else {
      break;
    }
  }
  // From the first non-zero digit on.
  for (; p < end; ++p) {
    const char c = *p;
    const unsigned d = static_cast<unsigned>(static_cast<unsigned char>(c) - '0');
    if (d > 9) {
      if (c != point || had_point) break;
      had_point = true;
      continue;
    }
    any_digit = true;
    if (!had_point) ++point_exp;
    if (kept < kKeptDigits) {
      digits[kept++] = c;
    } else if (d != 0) {
      sticky = true;
    }
  }
  pos = p;
  s.had_point = had_point;
  s.any_digit = any_digit;
  s.sticky = sticky;
  s.kept = kept;
  s.point_exp = point_exp;
}

// Scans [text, end) under `options` into `s` and `digits`.
void ScanReal(const char* p, const char* end, unsigned options, RealScan& s, char* digits) {
  if (options & kRealSkipBlanks) {
    while (p < end && IsLeadingBlank(*p)) ++p;
  }
  if (p < end && (*p == '+' || *p == '-')) {
    s.negative = *p == '-';
    s.explicit_plus = !s.negative;
    ++p;
  }
  if (p < end && (options & kRealSpecial)) {
    char l = Lower(*p);
    if (l == 'i') {
      int n = MatchWord(p, end, "infinity");
      if (n == 3 || n == 8) {
        s.form = RealForm::kInfinity;
        p += n;
      }
    } else if (l == 'n' && MatchWord(p, end, "nan") == 3) {
      s.form = RealForm::kNaN;
      p += 3;
      SkipNaNTail(p, end);
    }
    if (s.form != RealForm::kNumber) {
      s.trailing = p < end;
      return;
    }
  }
  ScanSignificand(p, end, options, s, digits);
  if (p < end && s.any_digit) {
    bool letter = IsExponentLetter(*p, options);
    bool sign_only = !letter && (*p == '+' || *p == '-') && !(options & kRealNoSignOnlyExponent);
    if (letter || sign_only) {
      s.had_exponent = true;
      if (letter) ++p;
      bool minus = false;
      if (p < end && (*p == '+' || *p == '-')) {
        minus = *p == '-';
        ++p;
      }
      ScanExponentDigits(p, end, minus, s);
    }
  }
  s.trailing = p < end;
}

// ---------------------------------------------------------------------------
// Reals: the exact conversion

template <typename T>
struct RealTraits;

template <>
struct RealTraits<float> {
  using Bits = uint32_t;
  static constexpr Bits kSignBit = 0x80000000u;
  static constexpr Bits kExponentMask = 0x7F800000u;
  static constexpr Bits kNaNNegative = 0xFFC00000u;
  static constexpr Bits kNaNPositive = 0x7FC00000u;
  // A value below 10^kMaxMagnitude always has a finite or overflowing result
  // that the exact conversion decides; from 10^kMaxMagnitude up it overflows.
  static constexpr int64_t kMaxMagnitude = 39;
  // A value below 10^kMinMagnitude lies under half the smallest subnormal.
  static constexpr int64_t kMinMagnitude = -46;
};

template <>
struct RealTraits<double> {
  using Bits = uint64_t;
  static constexpr Bits kSignBit = 0x8000000000000000u;
  static constexpr Bits kExponentMask = 0x7FF0000000000000u;
  static constexpr Bits kNaNNegative = 0xFFF8000000000000u;
  static constexpr Bits kNaNPositive = 0x7FF8000000000000u;
  static constexpr int64_t kMaxMagnitude = 309;
  static constexpr int64_t kMinMagnitude = -324;
};

// The value with the sign bit set when `negative`; done on the bits so that
// a denormals-are-zero mode cannot disturb it.
template <typename T>
T WithSign(T magnitude, bool negative) {
  using Bits = typename RealTraits<T>::Bits;
  Bits bits = std::bit_cast<Bits>(magnitude);
  if (negative) bits |= RealTraits<T>::kSignBit;
  return std::bit_cast<T>(bits);
}

// True for zero and subnormal values (judged on the bits).
template <typename T>
bool BelowNormal(T value) {
  using Bits = typename RealTraits<T>::Bits;
  return (std::bit_cast<Bits>(value) & RealTraits<T>::kExponentMask) == 0;
}

enum class Range { kInRange, kOverflow, kUnderflow };

// Converts the kept digits `digits[0..kept)` times 10^exp10 (a value in
// [10^(magnitude-1), 10^magnitude)) to T. Sets `range` when the result
// overflows or rounds to zero. Returns false if the library did not take the
// whole text, which the scanner's output never causes.
template <typename T>
bool ExactConversion(char* digits, int kept, int64_t exp10, int64_t magnitude, T& value,
                     Range& range) {
  // The exponent in a fixed width of four digits: |exp10| stays below
  // kKeptDigits + 400 here, and a fixed width needs no digit loop.
  char* out = digits + kept;
  const unsigned e = static_cast<unsigned>(exp10 < 0 ? -exp10 : exp10);
  out[0] = 'e';
  out[1] = exp10 < 0 ? '-' : '+';
  out[2] = static_cast<char>('0' + e / 1000);
  out[3] = static_cast<char>('0' + e / 100 % 10);
  out[4] = static_cast<char>('0' + e / 10 % 10);
  out[5] = static_cast<char>('0' + e % 10);
  out += 6;
  value = T(0);
  range = Range::kInRange;
  std::from_chars_result r = std::from_chars(digits, out, value);
  if (r.ptr != out) return false;
  if (r.ec == std::errc::result_out_of_range) {
    range = magnitude > 0 ? Range::kOverflow : Range::kUnderflow;
    value = range == Range::kOverflow ? std::numeric_limits<T>::infinity() : T(0);
    // Some library versions report subnormal results as out of range (this
    // one does not). A float value of at least 10^-45 cannot round to zero:
    // take it through double, exact but for text within a hair of a halfway
    // point, where the double rounding may differ in the last place.
    if constexpr (std::is_same_v<T, float>) {
      if (range == Range::kUnderflow && magnitude >= -44) {
        double wide = 0;
        std::from_chars(digits, out, wide);
        value = static_cast<float>(wide);
        range = Range::kInRange;
      }
    }
  }
  return r.ec == std::errc() || r.ec == std::errc::result_out_of_range;
}

// Text to T under `options`; see TextToSingle.
template <typename T>
int TextToReal(const char* text, int64_t length, int scale, int implied_digits, unsigned options,
               T* dest) {
  using Traits = RealTraits<T>;
  if (length <= 0) {
    *dest = T(0);
    return length == 0 ? kRealOk : kRealFail;
  }
  char digits[kDigitBufferSize];
  RealScan s;
  ScanReal(text, text + length, options, s, digits);
  const bool reject_trailing = s.trailing && (options & kRealRejectTrailing);

  if (s.form == RealForm::kInfinity) {
    *dest = WithSign(std::numeric_limits<T>::infinity(), s.negative);
    return reject_trailing ? kRealFail : kRealOk;
  }
  if (s.form == RealForm::kNaN) {
    *dest = std::bit_cast<T>(s.explicit_plus ? Traits::kNaNPositive : Traits::kNaNNegative);
    return reject_trailing ? kRealFail : kRealOk;
  }
  if (reject_trailing || (!s.any_digit && (options & kRealRejectEmpty))) {
    *dest = T(0);
    return kRealFail;
  }
  if (!s.any_digit) {
    *dest = T(0);
    return kRealOk;
  }
  if (s.kept == 0) {  // only zero digits
    *dest = WithSign(T(0), s.negative);
    return kRealOk;
  }

  int64_t adjust = 0;
  if (!s.had_point) adjust -= implied_digits;
  if (!s.had_exponent) adjust -= scale;
  const int64_t magnitude = s.point_exp + s.exponent + adjust;

  Range range;
  T value;
  // More than 6 significant exponent digits decide the range on their own.
  const bool overflow =
      s.exponent_range > 0 || (s.exponent_range == 0 && magnitude > Traits::kMaxMagnitude);
  const bool underflow =
      s.exponent_range < 0 || (s.exponent_range == 0 && magnitude < Traits::kMinMagnitude);
  if (overflow) {
    range = Range::kOverflow;
    value = std::numeric_limits<T>::infinity();
  } else if (underflow) {
    range = Range::kUnderflow;
    value = T(0);
  } else {
    int kept = s.kept;
    if (s.sticky) {
      digits[kept++] = '1';
    } else {
      while (digits[kept - 1] == '0') --kept;  // digits[0] is never '0'
    }
    if (!ExactConversion<T>(digits, kept, magnitude - kept, magnitude, value, range)) {
      *dest = T(0);
      return kRealFail;
    }
  }

  int status = kRealOk;
  if (range == Range::kOverflow) {
    if (options & kRealRejectOverflow) status = kRealFail;
  } else if (BelowNormal(value)) {
    if (options & kRealRejectUnderflow) status = kRealFail;
    if (options & kRealFlushSubnormal) value = T(0);
  }
  *dest = WithSign(value, s.negative);
  return status;
}

}  // namespace

int DigitsToUnsigned64(const char* text, int64_t length, int base, unsigned options,
                       uint64_t* dest) {
  *dest = 0;
  if (length < 0) return kIntBadLength;
  if (options & ~kIntKnownOptions) return kIntBadOptions;
  if (base < 2 || base > 16) return kIntBadBase;
  const char* p = text;
  const char* end = text + length;
  if (!SkipIntegerBlanks(p, end, options)) return kIntBadChar;
  const uint64_t limit = std::numeric_limits<uint64_t>::max();
  const uint64_t ubase = static_cast<uint64_t>(base);
  uint64_t value = 0;
  for (; p < end; ++p) {
    char c = *p;
    int digit = DigitValue(c);
    if (digit < 0) {
      if (c == ' ' && (options & kIntBlankAsZero)) {
        digit = 0;
      } else if ((c == ' ' && (options & kIntBlanksIgnored)) ||
                 (c == '\t' && (options & kIntTabAsBlank)) ||
                 (c == '_' && (options & kIntUnderscoreIgnored))) {
        continue;
      } else {
        return kIntBadChar;
      }
    }
    if (digit >= base) return kIntBadChar;
    const uint64_t udigit = static_cast<uint64_t>(digit);
    if (value > (limit - udigit) / ubase) return kIntOutOfRange;
    value = value * ubase + udigit;
  }
  *dest = value;
  return kIntOk;
}

int TextToInteger(const char* text, int64_t length, unsigned options, int32_t* dest) {
  *dest = 0;
  if (length < 0) return kIntBadLength;
  if (options & ~kIntKnownOptions) return kIntBadOptions;
  const char* p = text;
  const char* end = text + length;
  if (!SkipIntegerBlanks(p, end, options)) return kIntBadChar;
  bool negative = false;
  if (p < end && (*p == '+' || *p == '-')) {
    negative = *p == '-';
    ++p;
  }
  uint64_t magnitude = 0;
  int status = DigitsToUnsigned64(p, end - p, 10, options, &magnitude);
  if (status != kIntOk) return status;
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  if (magnitude > limit) return kIntOutOfRange;
  *dest = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                   : static_cast<int32_t>(magnitude);
  return kIntOk;
}

int TextToSingle(const char* text, int64_t length, int scale, int implied_digits, unsigned options,
                 float* dest) {
  return TextToReal(text, length, scale, implied_digits, options, dest);
}

int TextToDouble(const char* text, int64_t length, int scale, int implied_digits, unsigned options,
                 double* dest) {
  return TextToReal(text, length, scale, implied_digits, options, dest);
}

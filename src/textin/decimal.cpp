// Plain decimal text to single precision: a short cut by one correctly
// rounded operation for short tokens, std::from_chars for everything else.
#include "textin/decimal.h"

#include <array>
#include <bit>
#include <cstdint>

namespace {

constexpr int kMaxDigits = 19;         // below 2^64 in any case
constexpr int kMaxPower = 22;          // 10^22 is the largest exact double power of ten
constexpr int kMaxExponentDigits = 4;  // significant exponent digits kept by the short cut
constexpr uint64_t kExactLimit = uint64_t{1} << 53;
using DecimalInline::kDroppedHalf;
using DecimalInline::kDroppedMask;

constexpr std::array<double, kMaxPower + 1> MakePowers() {
  std::array<double, kMaxPower + 1> p{};
  p[0] = 1.0;
  for (int i = 1; i <= kMaxPower; ++i) p[i] = p[i - 1] * 10.0;  // each exact
  return p;
}
constexpr std::array<double, kMaxPower + 1> kPow10 = MakePowers();

using DecimalInline::AppendDigits;
using DecimalInline::kExactSingleLimit;
using DecimalInline::kMaxSinglePower;
using DecimalInline::kPow10Single;

bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

// Reads digits from p into w, counting them in *count. Returns the end.
const char* ReadDigits(const char* p, const char* last, uint64_t* w, int* count) {
  for (; p < last && IsDigit(*p); ++p) {
    if (++*count <= kMaxDigits) *w = *w * 10 + static_cast<uint64_t>(*p - '0');
  }
  return p;
}

// The exponent after an exponent letter at p: sets *exponent and returns its
// end, or null when no digit follows or it has too many digits.
const char* ReadExponent(const char* p, const char* last, int* exponent) {
  const bool minus = p < last && *p == '-';
  if (p < last && (*p == '-' || *p == '+')) ++p;
  while (p < last && *p == '0' && p + 1 < last && IsDigit(p[1])) ++p;
  int value = 0, count = 0;
  for (; p < last && IsDigit(*p); ++p) {
    if (++count > kMaxExponentDigits) return nullptr;
    value = value * 10 + (*p - '0');
  }
  if (count == 0) return nullptr;
  *exponent = minus ? -value : value;
  return p;
}

// w x 10^q with the sign by one correctly rounded operation (see ShortCut).
// Stores the value and returns true, or returns false when it does not
// decide the value.
[[gnu::always_inline]] inline bool Scaled(uint64_t w, int q, bool negative, float* value) {
  if (w == 0) {
    *value = negative ? -0.0f : 0.0f;
    return true;
  }
  // The sign goes on the integer by arithmetic: signed and unsigned values
  // alternate unpredictably, and a branch on it would often guess wrong.
  // Every rounding here is symmetric, so the sign may go on first.
  const int64_t minus = static_cast<int64_t>(negative);
  const int64_t signed_w = (static_cast<int64_t>(w) ^ -minus) + minus;
  if (w < kExactSingleLimit && q >= -kMaxSinglePower && q <= kMaxSinglePower) {
    // Both operands are exact floats: one correctly rounded float operation,
    // with a normal result (at least 10^-10).
    const float exact = static_cast<float>(signed_w);
    *value = q < 0 ? exact / kPow10Single[-q] : exact * kPow10Single[q];
    return true;
  }
  if (w > kExactLimit || q < -kMaxPower || q > kMaxPower) return false;
  const double exact = static_cast<double>(signed_w);
  const double d = q < 0 ? exact / kPow10[-q] : exact * kPow10[q];
  if ((std::bit_cast<uint64_t>(d) & kDroppedMask) == kDroppedHalf) return false;
  *value = static_cast<float>(d);
  return true;
}

// The short cut: w x 10^q with an integer w of at most 2^53 and |q| <= 22 is
// one correctly rounded double product or quotient of two exact doubles.
// Rounding that double to float gives the float nearest the exact value
// unless the double lies exactly halfway between two floats: every such
// halfway point is itself a double, so the exact value and its double lie
// on the same side of it, or the double is on it. That one case goes to
// std::from_chars. The result lies between 10^-22 and 2^53 x 10^22, a normal
// float, so flush-to-zero cannot touch it. When w and 10^|q| are exact floats
// one float operation gives the nearest float directly (see Scaled).
// Stores the value and returns the
// end of the token, or returns null when it does not decide the value.
const char* ShortCut(const char* first, const char* last, float* value) {
  const char* p = first;
  const bool negative = p < last && *p == '-';
  p += negative;
  uint64_t w = 0;
  int count = 0;
  p = ReadDigits(p, last, &w, &count);
  int q = 0;
  if (p < last && *p == '.') {
    const int before = count;
    p = ReadDigits(p + 1, last, &w, &count);
    q = before - count;
  }
  if (count == 0 || count > kMaxDigits) return nullptr;
  if (p < last && (*p | 0x20) == 'e') {
    int exponent = 0;
    p = ReadExponent(p + 1, last, &exponent);
    if (p == nullptr) return nullptr;
    q += exponent;
  }
  return Scaled(w, q, negative, value) ? p : nullptr;
}

// Adds to *q the exponent [sign] digits in [p, end) of a plain token.
// Returns false when it has more than kMaxExponentDigits significant digits.
inline bool AddExponent(const char* p, const char* end, int* q) {
  const int minus = *p == '-';
  p += minus | (*p == '+');
  while (end - p > kMaxExponentDigits && *p == '0') ++p;
  if (end - p > kMaxExponentDigits) return false;
  int exponent = 0;
  for (; p < end; ++p) exponent = exponent * 10 + (*p - '0');
  *q += (exponent ^ -minus) + minus;  // the sign without a branch
  return true;
}

// The short cut on a plain token of at most kPlainDecimalMax bytes at
// `first` ('+' skipped), its digits at the scanner's positions: at most 19
// of them, so their value fits in 64 bits. Stores the value and returns true,
// or returns false when it does not decide the value.
bool PlainShortCut(const char* first, const char* point_at, const char* exponent_at,
                   const char* end, float* value) {
  const bool negative = *first == '-';
  const char* const digits = first + negative;
  const char* const letter = exponent_at != nullptr ? exponent_at : end;
  const char* const point = point_at != nullptr ? point_at : letter;
  uint64_t w = AppendDigits(0, digits, point);
  int q = 0;
  if (point != letter) {
    w = AppendDigits(w, point + 1, letter);
    q = -static_cast<int>(letter - point - 1);
  }
  if (letter != end && !AddExponent(letter + 1, end, &q)) return false;
  return Scaled(w, q, negative, value);
}

}  // namespace

std::from_chars_result DecimalToSingle(const char* first, const char* last, float* value) {
  if (const char* end = ShortCut(first, last, value)) return {end, std::errc()};
  return std::from_chars(first, last, *value);
}

bool PlainDigitsToSingle(const char* text, const char* point, const char* exponent, const char* end,
                         float* value) {
  if (*text == '+') ++text;  // std::from_chars takes no '+'
  if (PlainShortCut(text, point, exponent, end, value)) return true;
  const std::from_chars_result r = DecimalToSingle(text, end, value);
  return r.ec == std::errc() && r.ptr == end;
}

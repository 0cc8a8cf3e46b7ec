// Plain decimal text to single precision: std::from_chars with a short cut for
// the common short token, taken only where one exact operation decides it.
#pragma once
#include <array>
#include <bit>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "textin/numbertoken.h"

// The same result as std::from_chars(first, last, *value) in the general
// format (pointer, error code and value, bit for bit). A plain decimal of at
// most 19 digits whose value needs at most 53 bits times or divided by a
// power of ten up to 10^22 is converted by one correctly rounded float or
// double operation; everything else goes to std::from_chars.
std::from_chars_result DecimalToSingle(const char* first, const char* last, float* value);

// The value of the plain token at `text` ([sign] digits [. digits] [E|e
// [sign] digits], at most kPlainDecimalMax bytes) whose decimal point,
// exponent letter (either may be null) and end the scanner found, bit for
// bit as DecimalToSingle gives it; the digits are read between those
// positions, not looked for. Returns false when the conversion does not take
// the whole token (a value beyond the range of single precision).
bool PlainDigitsToSingle(const char* text, const char* point, const char* exponent, const char* end,
                         float* value);

namespace DecimalInline {

// Integers below 2^24 and powers of ten up to 10^10 (2^10 x 5^10, 5^10 <
// 2^24) are exact floats: their product or quotient is one correctly
// rounded float operation, a normal float (at least 10^-10).
constexpr uint64_t kExactSingleLimit = uint64_t{1} << 24;
constexpr int kMaxSinglePower = 10;
inline constexpr std::array<float, kMaxSinglePower + 1> kPow10Single = {
    1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
// 10^-k rounded to double. With w < 2^24 exact, w x 10^-k as a double
// product has two roundings of at most half a unit in the last place each,
// relative to 10^-k and to the product: it lies within three units of the
// exact quotient. A multiplication waits far less than a division.
inline constexpr std::array<double, kMaxSinglePower + 1> kPow10Negative = {
    1e0, 1e-1, 1e-2, 1e-3, 1e-4, 1e-5, 1e-6, 1e-7, 1e-8, 1e-9, 1e-10};
// The low 29 bits of a double are what rounding to float drops (the result
// is a normal float, at least 10^-10). A product whose dropped bits lie more
// than kSlack units from the halfway point rounds to the same float as the
// exact quotient, which lies on the same side of every halfway point; one
// nearer is left to the full conversion.
constexpr uint64_t kDroppedMask = (uint64_t{1} << 29) - 1;
constexpr uint64_t kDroppedHalf = uint64_t{1} << 28;
constexpr uint64_t kSlack = 4;

// w followed by the decimal digits [p, q).
inline uint64_t AppendDigits(uint64_t w, const char* p, const char* q) {
  for (; p < q; ++p) w = w * 10 + static_cast<uint64_t>(*p - '0');
  return w;
}

// XORed into eight bytes of text, gives each digit its value 0..9.
constexpr uint64_t kZeroBytes = 0x3030303030303030ull;
// Bytes of the significand (its point included) read as one 64-bit word.
constexpr int kWordDigits = 8;

// The value of eight digit values 0..9, one per byte of x, the first byte
// (lowest address) the most significant: pairs, then the eight from four
// pairs, each step a product over all lanes at once.
inline uint64_t EightDigits(uint64_t x) {
  x = x * 10 + (x >> 8);  // byte 2i: digits 2i and 2i + 1
  constexpr uint64_t kPairs = 0x000000FF000000FFull;
  constexpr uint64_t kOuter = 100 + (uint64_t{1000000} << 32);
  constexpr uint64_t kInner = 1 + (uint64_t{10000} << 32);
  return ((x & kPairs) * kOuter + ((x >> 16) & kPairs) * kInner) >> 32;
}

// The significand [digits, letter) of a plain token (digits and at most one
// point, kWordDigits bytes or fewer with the point, one fewer without),
// read as one word from `digits` (eight readable bytes): the digits before
// the point move up one byte into its place, and the word shifted so that
// the significand ends in its last byte and zeros lead it.
inline uint64_t WordSignificand(const char* digits, const char* point, const char* letter) {
  uint64_t x;
  std::memcpy(&x, digits, sizeof x);
  x ^= kZeroBytes;
  const int before = static_cast<int>((point != nullptr ? point : letter) - digits);
  const int kept = static_cast<int>(letter - digits) + (point == nullptr);
  const uint64_t low = ~(~uint64_t{0} << (8 * before));
  x = ((x & low) << 8) | (x & (~low << 8));
  return EightDigits(x << (8 * (kWordDigits - kept)));
}

// The exponent [sign] digits in [p, end) of a plain token, of one or two
// digits, added to *q; false (nothing added) for a longer one.
inline bool AddShortExponent(const char* p, const char* end, int* q) {
  const int minus = *p == '-';
  p += minus | (*p == '+');
  if (end - p > 2) return false;
  const int tens = end - p == 2 ? end[-2] - '0' : 0;
  const int exponent = tens * 10 + (end[-1] - '0');
  *q += (exponent ^ -minus) + minus;  // the sign without a branch
  return true;
}

// The value of a plain token of at most kPlainDecimalMax bytes at `first`
// ('+' skipped) from the scanner's positions, when its significand fits a
// word (see WordSignificand; eight bytes from its first digit or point
// readable before `limit`), its digits form an exact float w and its power
// of ten 10^q has |q| <= 10: w x 10^q in one float product, w x 10^-q as a
// double product rounded to float unless that product lies too near a
// halfway point between two floats. Returns false (nothing stored)
// otherwise. Inline, so that the common short token costs no call.
inline bool ExactSingle(const char* first, const char* point, const char* exponent, const char* end,
                        const char* limit, float* value) {
  const bool negative = *first == '-';
  const char* const digits = first + negative;
  const char* const letter = exponent != nullptr ? exponent : end;
  const ptrdiff_t kept = (letter - digits) + (point == nullptr);
  if (kept > kWordDigits || limit - digits < kWordDigits) return false;
  const uint64_t w = WordSignificand(digits, point, letter);
  int q = point != nullptr ? -static_cast<int>(letter - point - 1) : 0;
  if (letter != end && !AddShortExponent(letter + 1, end, &q)) return false;
  if (w == 0 || w >= kExactSingleLimit || q < -kMaxSinglePower || q > kMaxSinglePower) return false;
  // The sign goes on the integer by arithmetic: signed and unsigned values
  // alternate unpredictably. Every rounding here is symmetric.
  const int64_t minus = static_cast<int64_t>(negative);
  const int64_t signed_w = (static_cast<int64_t>(w) ^ -minus) + minus;
  if (q >= 0) {
    *value = static_cast<float>(signed_w) * kPow10Single[q];
    return true;
  }
  const double d = static_cast<double>(signed_w) * kPow10Negative[-q];
  const uint64_t dropped = std::bit_cast<uint64_t>(d) & kDroppedMask;
  if (dropped - (kDroppedHalf - kSlack) <= 2 * kSlack) return false;
  *value = static_cast<float>(d);
  return true;
}

}  // namespace DecimalInline

// The value of the token at `text` that ScanNumberToken judged
// TokenKind::kPlain (an optional leading '+' included), by
// PlainDigitsToSingle; false for any other verdict. `limit` (at or after
// the token's end) bounds the memory that may be read. The common exact
// case is decided in line; the verdict's parts go on in registers.
inline bool PlainTokenToSingle(const char* text, const NumberToken& token, const char* limit,
                               float* value) {
  if (token.kind != TokenKind::kPlain) return false;
  const char* const first = text + (*text == '+');
  return DecimalInline::ExactSingle(first, token.point, token.exponent, token.end, limit, value) ||
         PlainDigitsToSingle(text, token.point, token.exponent, token.end, value);
}

// The number token scanner's byte-by-byte routes: a plain decimal of any
// length a word at a time, and every other shape by the full rules.
#include "textin/numbertoken.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace {

inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The first byte in [p, end) that is not a decimal digit, or end. `limit`
// (at or after end) bounds the memory that may be read: runs go eight bytes
// at a time while eight bytes remain before it, bytes past end never count.
inline const char* SkipDigits(const char* p, const char* end, const char* limit) {
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

// The plain shape [sign] digits [. digits] [E|e [sign] digits] with at least
// one significand digit and, after an exponent letter, at least one exponent
// digit, ended by a value end, of any length. Sets *token and returns true;
// returns false for any other shape. Needs p < end.
bool PlainToken(const char* p, const char* end, const char* limit, NumberToken* token) {
  const char *point = nullptr, *exponent = nullptr;
  // Signed and unsigned values alternate unpredictably: no branch on the sign.
  const char* const start = p;
  p += ClassOf(*p) == kClsSign;
  const char* digits = p;
  p = SkipDigits(p, end, limit);
  bool any_digit = p != digits;
  if (p < end && *p == '.') {
    point = p;
    digits = ++p;
    p = SkipDigits(p, end, limit);
    any_digit |= p != digits;
  }
  if (!any_digit) return false;
  if (p < end && (*p | 0x20) == 'e') {
    exponent = p;
    ++p;
    if (p < end && ClassOf(*p) == kClsSign) ++p;
    digits = p;
    p = SkipDigits(p, end, limit);
    if (p == digits) return false;
  }
  if (p < end && ClassOf(*p) != kClsEnd) return false;
  const TokenKind kind = p - start <= kPlainDecimalMax ? TokenKind::kPlain : TokenKind::kGeneral;
  *token = {p, point, exponent, kind};
  return true;
}

// Any other numeric token by the full rules: repeat counts, infinity and NaN
// spellings, any exponent letter, a sign-only exponent. The first fault in
// the token decides: a bad byte or order gives kBad, a '*' before it kRepeat.
NumberToken GeneralToken(const char* start, const char* end) {
  const NumberToken bad{start, nullptr, nullptr, TokenKind::kBad};
  const char* p = start;
  bool expecting_digit = true, last_sign = false, special = false;
  const char *point = nullptr, *exponent = nullptr;
  while (p < end && !special) {
    const CharClass cls = ClassOf(*p);
    if (cls == kClsEnd) break;
    switch (cls) {
      case kClsDigit: expecting_digit = false; break;
      case kClsSign:
        if (last_sign) return bad;
        expecting_digit = true;
        break;
      case kClsDot:
        if (point != nullptr) return bad;
        point = p;
        break;
      case kClsExponent:
        if (exponent != nullptr || expecting_digit) return bad;
        exponent = p;
        break;
      case kClsSpecial:
        if (!(p == start || (p == start + 1 && ClassOf(*start) == kClsSign))) return bad;
        special = true;
        p = WordEnd(p, end);
        continue;
      case kClsStar: return {p, point, exponent, TokenKind::kRepeat};
      default: return bad;
    }
    last_sign = cls == kClsSign;
    ++p;
  }
  if (expecting_digit && !special) return bad;
  return {p, point, exponent, TokenKind::kGeneral};
}

}  // namespace

NumberToken ScanNumberTokenSlow(const char* start, const char* end, const char* limit) {
  NumberToken token{};
  if (PlainToken(start, end, limit, &token)) return token;
  return GeneralToken(start, end);
}

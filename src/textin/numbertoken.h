// The one scanner of a number token in a list-directed record: where the
// token ends, whether it holds a point and an exponent, and which route takes it.
#pragma once
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Longest token the plain-decimal conversion takes (19 characters at most).
constexpr int kPlainDecimalMax = 19;

// What the scanner found at the start of a token.
enum class TokenKind : uint8_t {
  kPlain,    // [sign] digits [. digits] [E|e [sign] digits], at most kPlainDecimalMax bytes
  kGeneral,  // any other number: longer, a D or Q exponent, a sign-only exponent, Inf, NaN
  kRepeat,   // a repeat count: `end` is its '*'
  kBad,      // no number (a list syntax error)
};

// The scanner's verdict on one token. For kBad only `kind` counts.
struct NumberToken {
  const char* end;       // after the token (kPlain, kGeneral), the '*' (kRepeat)
  const char* point;     // the decimal point in the token, or null
  const char* exponent;  // the exponent letter in the token, or null
  TokenKind kind;
};

// Character classes of a numeric token.
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

constexpr std::array<uint8_t, 256> MakeCharClassTable() {
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
inline constexpr std::array<uint8_t, 256> kCharClass = MakeCharClassTable();

inline CharClass ClassOf(char c) {
  return static_cast<CharClass>(kCharClass[static_cast<uint8_t>(c)]);
}

// End of a logical value or an infinity/NaN spelling: blank, tab, comma,
// slash, closing parenthesis or the record end.
inline const char* WordEnd(const char* p, const char* end) {
  while (p < end && ClassOf(*p) != kClsEnd) ++p;
  return p;
}

// The token that starts at `start` (start < end) in the record [start, end).
// `limit` (at or after end) bounds the memory that may be read: the scan
// reads blocks of bytes up to it, and bytes past end never count.
NumberToken ScanNumberTokenSlow(const char* start, const char* end, const char* limit);

#if defined(__SSE2__)
// Bit i set where byte i of `bytes` equals c.
inline unsigned MatchBytes(__m128i bytes, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(c))));
}

// A plain decimal shorter than 16 bytes decided from the 16 bytes at p (all
// readable, p < end) with a handful of vector compares and no branch per
// byte. Returns false when the token has another shape or may be longer.
inline bool PlainTokenInBlock(const char* p, const char* end, NumberToken* token) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const __m128i offset = _mm_sub_epi8(bytes, _mm_set1_epi8('0'));
  const unsigned digits = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset)));
  const unsigned dots = MatchBytes(bytes, '.');
  const unsigned signs = MatchBytes(bytes, '+') | MatchBytes(bytes, '-');
  const unsigned letters = MatchBytes(_mm_or_si128(bytes, _mm_set1_epi8(0x20)), 'e');
  // The token is the run of bytes that may appear in a plain decimal; bytes
  // past the record end belong to no token.
  const ptrdiff_t room = end - p;
  const unsigned inside = room >= 16 ? 0xFFFFu : (1u << room) - 1;
  const int len = std::countr_one((digits | dots | signs | letters) & inside);
  if (len == 16 || (len < room && ClassOf(p[len]) != kClsEnd)) return false;
  const unsigned all = (1u << len) - 1;
  const unsigned d = digits & all, point = dots & all, s = signs & all, e = letters & all;
  const unsigned significand = e != 0 ? e - 1 : all;  // the bytes before the exponent letter
  const bool plain = (point & (point - 1)) == 0 && (e & (e - 1)) == 0 &&  // at most one of each
                     (s & ~(1u | e << 1)) == 0 &&  // signs lead the token or follow the letter
                     (point & ~significand) == 0 && (d & significand) != 0 &&
                     (e == 0 || (d & ~significand) != 0);  // exponent digits after the letter
  if (!plain) return false;
  // Field by field: a copy of the whole, built in a vector register from
  // these parts, would wait for them to reach memory.
  token->end = p + len;
  token->point = point != 0 ? p + std::countr_zero(point) : nullptr;
  token->exponent = e != 0 ? p + std::countr_zero(e) : nullptr;
  token->kind = TokenKind::kPlain;
  return true;
}
#endif

// The token that starts at `start`, into *token: see ScanNumberTokenSlow.
// The common short plain decimal is decided in one block when 16 bytes may
// be read.
inline void ScanNumberToken(const char* start, const char* end, const char* limit,
                            NumberToken* token) {
#if defined(__SSE2__)
  if (limit - start >= 16 && PlainTokenInBlock(start, end, token)) return;
#endif
  *token = ScanNumberTokenSlow(start, end, limit);
}

// The same, returned.
inline NumberToken ScanNumberToken(const char* start, const char* end, const char* limit) {
  NumberToken token;
  ScanNumberToken(start, end, limit, &token);
  return token;
}

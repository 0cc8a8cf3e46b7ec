// Tests of the plain decimal short cut, and of the conversion of a token the
// number scanner calls plain: the same pointer, error and bits as
// std::from_chars on token shapes, range edges, and on generated halfway
// points between floats and the decimals closest to them.
#include "textin/decimal.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>

namespace {

// Converts `text` both ways from a heap copy of exactly its size (a read
// past the end shows under the address sanitizer) and compares everything.
void ExpectSameAsLibrary(const std::string& text) {
  SCOPED_TRACE("'" + text + "'");
  std::unique_ptr<char[]> copy(new char[text.size() + 1]);
  std::memcpy(copy.get(), text.data(), text.size());
  const char* first = copy.get();
  const char* last = first + text.size();
  float want = 7.0f, got = 7.0f;  // an error must leave the value alone
  const std::from_chars_result w = std::from_chars(first, last, want);
  const std::from_chars_result g = DecimalToSingle(first, last, &got);
  EXPECT_EQ(g.ptr - first, w.ptr - first);
  EXPECT_EQ(static_cast<int>(g.ec), static_cast<int>(w.ec));
  EXPECT_EQ(std::bit_cast<uint32_t>(got), std::bit_cast<uint32_t>(want));
  // A whole text that the number scanner calls plain: the conversion from
  // its verdict takes it exactly when the library does, with the same bits.
  const NumberToken token = ScanNumberToken(first, last, last);
  if (token.kind != TokenKind::kPlain || token.end != last || text[0] == '+') return;
  // Also from a copy followed by readable digits, which must not count:
  // the significand is then read as one word.
  const std::string padded = text + std::string(16, '9');
  const NumberToken padded_token =
      ScanNumberToken(padded.data(), padded.data() + text.size(), padded.data() + padded.size());
  float from_token = 7.0f, from_word = 7.0f;
  const bool whole = w.ec == std::errc() && w.ptr == last;
  EXPECT_EQ(PlainTokenToSingle(first, token, last, &from_token), whole);
  EXPECT_EQ(
      PlainTokenToSingle(padded.data(), padded_token, padded.data() + padded.size(), &from_word),
      whole);
  if (whole) {
    EXPECT_EQ(std::bit_cast<uint32_t>(from_token), std::bit_cast<uint32_t>(want));
    EXPECT_EQ(std::bit_cast<uint32_t>(from_word), std::bit_cast<uint32_t>(want));
  }
}

TEST(DecimalToSingle, ShapesAndRangeEdgesMatchLibrary) {
  const char* const cases[] = {
      // shapes, and where the token ends
      "0",
      "-0",
      "-0.0",
      "0e99999",
      ".5",
      "5.",
      "-.5",
      ".",
      "-",
      "+1",
      "",
      "1e",
      "1e+",
      "1E-",
      "1.5e3x",
      "1.5E+03,",
      "1.5e-3 ",
      "2.5d3",
      "1.2.3",
      "--1",
      "1e5e5",
      "12ab",
      "inf",
      "-nan",
      "00000000000000000001",
      "0.000000000000000001",
      "1e00000000005",
      "1e-0000",
      // exponents too long for the short cut
      "1e3333333333",
      "-2.5e-3333333333",
      "0e12345",
      // 19 and 20 digits, 2^53 and its neighbours
      "1234567890123456789",
      "12345678901234567890",
      "9007199254740992",
      "9007199254740993",
      "9007199254740991",
      "-9007199254740992e22",
      // the largest exact powers of ten and one past
      "1e22",
      "1e23",
      "1e-22",
      "1e-23",
      "4.2e-22",
      "9.999999e22",
      // float range edges: beyond these the library decides (and reports)
      "3.4028235e38",
      "3.4028236e38",
      "1e39",
      "1.17549435e-38",
      "1e-45",
      "7e-46",
      "1e-50",
      // halfway between floats, exact: 2^24 + 1 and 2^24 + 3, and 2^-12 halfway
      "16777217",
      "16777219",
      "-16777217.0",
      "33554434",
      "1.00000005960464477539",
      "0.000244140625",
  };
  for (const char* c : cases) ExpectSameAsLibrary(c);
}

// Where the significand read as one word ends: seven and eight bytes with
// the point (eight is the most a word takes), nine; seven and eight digits
// without one; the point first and last; leading zeros; the exact-float
// limit 2^24 in a word; exponents of one, two and three digits.
TEST(DecimalToSingle, WordSignificandBoundariesMatchLibrary) {
  const char* const cases[] = {
      "1.23456",     "-1.234567",   "1.2345678",   "12345.67",     "1234567.",  ".1234567",
      "-.12345678",  "1234567",     "12345678",    "16777215",     "16777216",  "1677721.5",
      "-1.6777215",  "0.0000001",   "-00000.01",   "0.00000001",   "00000000",  "0.000000",
      "9.999999e-9", "9.999999E+9", "1.5e-10",     "1.5e-11",      "-2.5E+011", "7.5e3",
      "-7.5e-3",     "3.2e+00",     "1.234567E-1", "1.2345678E-1", "8e1",       "-0.5e-10",
  };
  for (const char* c : cases) ExpectSameAsLibrary(c);
}

// The decimal text of the exact value odd x 2^e (e >= -12): an integer, or
// odd x 5^-e with the point -e digits from the right.
std::string ExactText(uint64_t odd, int e) {
  if (e >= 0) return std::to_string(odd << e);
  uint64_t n = odd;
  for (int i = 0; i < -e; ++i) n *= 5;
  std::string s = std::to_string(n);
  if (s.size() <= static_cast<size_t>(-e)) s.insert(0, static_cast<size_t>(-e) + 1 - s.size(), '0');
  s.insert(s.size() - static_cast<size_t>(-e), ".");
  return s;
}

// Points exactly halfway between two floats, written exactly where that
// fits in 19 digits, and decimals of 16 digits a few units away from them,
// whose double quotient often lands on the halfway point itself although
// they are not on it: only the library may decide those.
TEST(DecimalToSingle, HalfwayPointsAndTheirNeighboursMatchLibrary) {
  std::mt19937_64 rng(2112);
  for (int i = 0; i < 4000; ++i) {
    const uint64_t odd = (uint64_t{1} << 24) | (rng() & 0xFFFFFF) | 1;  // 25 bits: a halfway point
    const int e = static_cast<int>(rng() % 69) - 40;
    if (e >= -12) {
      const std::string exact = ExactText(odd, e);
      if (exact.size() <= 19) ExpectSameAsLibrary(exact);
      ExpectSameAsLibrary(exact + "e" + std::to_string(static_cast<int>(rng() % 45) - 22));
    }
    const long double mid = std::ldexp(static_cast<long double>(odd), e);
    int k = 0;
    while (k <= 22 && mid * std::pow(10.0L, k + 1) < 0x1p53L) ++k;
    if (k > 22) continue;
    const auto w = static_cast<uint64_t>(std::llround(mid * std::pow(10.0L, k)));
    for (uint64_t j = w - 2; j <= w + 2; ++j)
      ExpectSameAsLibrary(std::to_string(j) + "e-" + std::to_string(k));
  }
}

// The in-line route takes w x 10^-k (w < 2^24, k <= 10) as a double product
// rounded to float where that product lies far enough from a halfway point:
// for every such w and k it is the correctly rounded float quotient.
TEST(DecimalToSingle, InlineProductIsTheQuotientForEveryExactFloat) {
  using namespace DecimalInline;
  int64_t wrong = 0;
  for (int k = 1; k <= kMaxSinglePower; ++k) {
    for (uint32_t w = 1; w < kExactSingleLimit; ++w) {
      const double d = static_cast<double>(w) * kPow10Negative[k];
      const uint64_t dropped = std::bit_cast<uint64_t>(d) & kDroppedMask;
      if (dropped - (kDroppedHalf - kSlack) <= 2 * kSlack) continue;
      const float quotient = static_cast<float>(w) / kPow10Single[k];
      wrong += std::bit_cast<uint32_t>(static_cast<float>(d)) != std::bit_cast<uint32_t>(quotient);
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Tokens of the history's shape, [-]d.ddddddE[+-]dd and relatives, across
// the digits the in-line route takes and just past them.
TEST(DecimalToSingle, ExponentTokensMatchLibrary) {
  for (uint64_t w = 1; w < (uint64_t{1} << 25); w += 104729) {
    const std::string digits = std::to_string(w);
    for (int e = -12; e <= 12; e += 3) {
      const std::string exponent = (e < 0 ? "E-" : "E+") + std::to_string(e < 0 ? -e : e);
      const std::string fraction = digits.substr(0, 1) + "." + digits.substr(1);
      ExpectSameAsLibrary("-" + fraction + exponent);
      ExpectSameAsLibrary(fraction + (e < 0 ? "e-0" : "e+0") + std::to_string(e < 0 ? -e : e));
      ExpectSameAsLibrary(digits + exponent);
    }
  }
}

}  // namespace

// Tests of the number conversions: integer options and statuses, the real
// syntax, correct rounding at halfway points, range limits, and agreement
// with the C library on random text.
#include "textin/number.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace {

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
uint64_t Bits(double d) { return std::bit_cast<uint64_t>(d); }

// Converts `text` with the list reader's options; the text is copied to a
// heap block of exactly its size so that a read past the end shows up under
// the address sanitizer.
int Single(const std::string& text, float* out, unsigned options = kListRealOptions, int scale = 0,
           int implied = 0) {
  std::vector<char> exact(text.begin(), text.end());
  *out = -12345.0f;
  return TextToSingle(exact.data(), static_cast<int64_t>(exact.size()), scale, implied, options,
                      out);
}

int Double(const std::string& text, double* out, unsigned options = kListRealOptions) {
  std::vector<char> exact(text.begin(), text.end());
  *out = -12345.0;
  return TextToDouble(exact.data(), static_cast<int64_t>(exact.size()), 0, 0, options, out);
}

// The exact decimal expansion of `x` (a double, or a long double holding a
// double midpoint) as significant digits and the exponent of the first one.
template <typename T>
void ExactDigits(T x, std::string* digits, int* exp10) {
  std::vector<char> buf(1200);
  auto r =
      std::to_chars(buf.data(), buf.data() + buf.size(), x, std::chars_format::scientific, 1100);
  std::string s(buf.data(), r.ptr);
  size_t e = s.find('e');
  *exp10 = std::atoi(s.c_str() + e + 1);
  digits->clear();
  for (size_t i = 0; i < e; ++i)
    if (s[i] != '.') digits->push_back(s[i]);
  while (digits->size() > 1 && digits->back() == '0') digits->pop_back();
}

// "0.<digits>E<exp10 + 1>", a plain way to write digits with an exponent.
std::string WithExponent(const std::string& digits, int exp10) {
  return std::string("0.") + digits + "E" + std::to_string(exp10 + 1);
}

// The digits just below `digits` (last digit lowered, nines appended up to
// `width` digits) and just above it (zeros and a final 1).
std::string Below(std::string digits, size_t width) {
  digits.back() = static_cast<char>(digits.back() - 1);
  digits.resize(std::max(width, digits.size() + 1), '9');
  return digits;
}
std::string Above(std::string digits, size_t width) {
  digits.resize(std::max(width, digits.size() + 1) - 1, '0');
  return digits + "1";
}

// ---------------------------------------------------------------------------

struct IntCase {
  const char* text;
  unsigned options;
  int status;
  int32_t value;
};

TEST(TextToInteger, ValuesOptionsAndStatuses) {
  const unsigned list = kListIntOptions;
  const IntCase cases[] = {
      {"2147483647", list, kIntOk, 2147483647},
      {"-2147483648", list, kIntOk, INT32_MIN},
      {"2147483648", list, kIntOutOfRange, 0},
      {"-2147483649", list, kIntOutOfRange, 0},
      {"99999999999999999999", list, kIntOutOfRange, 0},  // beyond 2^64 - 1
      {"18446744073709551615", list, kIntOutOfRange, 0},  // 2^64 - 1: fits 64 bits only
      {"+5", list, kIntOk, 5},
      {"-0", list, kIntOk, 0},
      {"", list, kIntOk, 0},
      {"   ", list, kIntOk, 0},
      {"-", list, kIntOk, 0},
      {"  42", 0, kIntOk, 42},
      {"\t42", 0, kIntBadChar, 0},
      {"\t42", kIntTabAsBlank, kIntOk, 42},
      {"4\t2", kIntTabAsBlank, kIntOk, 42},
      {"4 2", 0, kIntBadChar, 0},
      {"4 2", kIntBlanksIgnored, kIntOk, 42},
      {"4 2 ", kIntBlankAsZero, kIntOk, 4020},
      {"4 2", kIntBlankAsZero | kIntBlanksIgnored, kIntOk, 402},
      {"- 7", list, kIntOk, -7},
      {"1_000", 0, kIntBadChar, 0},
      {"1_000", kIntUnderscoreIgnored, kIntOk, 1000},
      {"12a", list, kIntBadChar, 0},
      {"1F", list, kIntBadChar, 0},
      {"5.0", list, kIntBadChar, 0},
      {"1e3", list, kIntBadChar, 0},
      {"+-1", list, kIntBadChar, 0},
      {"\xEF\xBB\xBF"
       "1",
       list, kIntBadChar, 0},
      {"1", kIntReserved, kIntOk, 1},
      {"1", 1u << 5, kIntBadOptions, 0},
      {"1", 1u << 31, kIntBadOptions, 0},
  };
  for (const IntCase& c : cases) {
    SCOPED_TRACE(c.text);
    int32_t value = 77;
    EXPECT_EQ(TextToInteger(c.text, static_cast<int64_t>(std::strlen(c.text)), c.options, &value),
              c.status);
    EXPECT_EQ(value, c.value);
  }
  int32_t value = 77;
  EXPECT_EQ(TextToInteger("1", -1, 0, &value), kIntBadLength);
  EXPECT_EQ(value, 0);
  // Only `length` characters are read.
  EXPECT_EQ(TextToInteger("123456", 3, 0, &value), kIntOk);
  EXPECT_EQ(value, 123);
}

struct UnsignedCase {
  const char* text;
  int base;
  int status;
  uint64_t value;
};

TEST(DigitsToUnsigned64, BasesAndLimits) {
  const UnsignedCase cases[] = {
      {"18446744073709551615", 10, kIntOk, UINT64_MAX},
      {"18446744073709551616", 10, kIntOutOfRange, 0},
      {"FFFFFFFFFFFFFFFF", 16, kIntOk, UINT64_MAX},
      {"10000000000000000", 16, kIntOutOfRange, 0},
      {"deadBEEF", 16, kIntOk, 0xDEADBEEFu},
      {"1011", 2, kIntOk, 11},
      {"102", 2, kIntBadChar, 0},
      {"777", 8, kIntOk, 511},
      {"8", 8, kIntBadChar, 0},
      {"g", 16, kIntBadChar, 0},
      {"1", 1, kIntBadBase, 0},
      {"1", 17, kIntBadBase, 0},
      {"", 10, kIntOk, 0},
  };
  for (const UnsignedCase& c : cases) {
    SCOPED_TRACE(c.text);
    uint64_t value = 77;
    EXPECT_EQ(
        DigitsToUnsigned64(c.text, static_cast<int64_t>(std::strlen(c.text)), c.base, 0, &value),
        c.status);
    EXPECT_EQ(value, c.value);
  }
}

// ---------------------------------------------------------------------------

struct RealCase {
  const char* text;
  int status;
  uint32_t bits;
};

TEST(TextToSingle, ListSyntax) {
  const uint32_t kInf = 0x7F800000u, kNegInf = 0xFF800000u;
  const RealCase cases[] = {
      {"1.5E3", 0, Bits(1500.0f)},
      {"1.5e3", 0, Bits(1500.0f)},
      {"1.5D3", 0, Bits(1500.0f)},
      {"1.5d3", 0, Bits(1500.0f)},
      {"1.5Q3", 0, Bits(1500.0f)},
      {"1.5q3", 0, Bits(1500.0f)},
      {"1.5+3", 0, Bits(1500.0f)},
      {"1.5E+3", 0, Bits(1500.0f)},
      {"15E-1", 0, Bits(1.5f)},
      {"1.5-3", 0, Bits(1.5e-3f)},
      {"1+2", 0, Bits(100.0f)},
      {"1E", 0, Bits(1.0f)},
      {"1E+", 0, Bits(1.0f)},
      {".5", 0, Bits(0.5f)},
      {"5.", 0, Bits(5.0f)},
      {"-.5", 0, Bits(-0.5f)},
      {"15", 0, Bits(15.0f)},
      {"0.1", 0, Bits(0.1f)},
      {"1E0000000005", 0, Bits(1e5f)},  // leading exponent zeros do not count
      {"000000000001.25", 0, Bits(1.25f)},
      {"0.000000000000000000000000000000000000000000000000000000000001E60", 0, Bits(1.0f)},
      {"  \t\r\n\v\f2.5", 0, Bits(2.5f)},
      {"3.4028235E38", 0, Bits(3.40282347e38f)},
      {"-3.4028235E38", 0, Bits(-3.40282347e38f)},
      {"3.5E38", 1, kInf},
      {"-3.5E38", 1, kNegInf},
      {"1E1000000", 1, kInf},
      {"1E-1000000", 0, 0},
      {"1E-50", 0, 0},
      {"-1E-50", 0, 0x80000000u},
      {"1E-40", 0, Bits(1e-40f)},
      {"-0", 0, 0x80000000u},
      {"-0.0", 0, 0x80000000u},
      {"-0E5", 0, 0x80000000u},
      {"0E1234567", 0, 0},
      {"-", 0, 0},
      {"+", 0, 0},
      {".", 0, 0},
      {"", 0, 0},
      {"inf", 0, kInf},
      {"INF", 0, kInf},
      {"Infinity", 0, kInf},
      {"-infinity", 0, kNegInf},
      {"+iNfInItY", 0, kInf},
      {"Infin", 1, 0},
      {"Infinit", 1, 0},
      {"Infx", 1, kInf},
      {"Infinityy", 1, kInf},
      {"In", 1, 0},
      {"NaN", 0, 0xFFC00000u},
      {"-nan", 0, 0xFFC00000u},
      {"+NaN", 0, 0x7FC00000u},
      {"nan(0x1_f)", 0, 0xFFC00000u},
      {"+nan()", 0, 0x7FC00000u},
      {"nan(1", 1, 0xFFC00000u},
      {"nan(1-)", 1, 0xFFC00000u},
      {"na", 1, 0},
      {"1+2+3", 1, 0},
      {"1.5x", 1, 0},
      {"1.2.3", 1, 0},
      {"1E5E5", 1, 0},
      {"1.5 ", 1, 0},
      {"E5", 1, 0},
      {"+-1", 1, 0},
      {"1,5", 1, 0},
      {"-x", 1, 0},
      {"3.5E38x", 1, 0},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.text);
    float value;
    EXPECT_EQ(Single(c.text, &value), c.status);
    EXPECT_EQ(Bits(value), c.bits);
  }
}

struct OptionCase {
  const char* text;
  unsigned options;
  int scale;
  int implied;
  int status;
  uint32_t bits;
};

TEST(TextToSingle, Options) {
  const unsigned list = kListRealOptions;
  const OptionCase cases[] = {
      {" 1", list & ~kRealSkipBlanks, 0, 0, 1, 0},
      {"inf", list & ~kRealSpecial, 0, 0, 1, 0},
      {"nan", 0, 0, 0, 0, 0},
      {"1.5x", 0, 0, 0, 0, Bits(1.5f)},
      {"nan()x", kRealSpecial, 0, 0, 0, 0xFFC00000u},
      {"3.5E38", 0, 0, 0, 0, 0x7F800000u},
      {"1E-40", list | kRealRejectUnderflow, 0, 0, 1, Bits(1e-40f)},
      {"1E-50", list | kRealRejectUnderflow, 0, 0, 1, 0},
      {"0", list | kRealRejectUnderflow, 0, 0, 0, 0},
      {"1.2E-38", list | kRealRejectUnderflow, 0, 0, 0, Bits(1.2e-38f)},
      {"-1E-40", list | kRealFlushSubnormal, 0, 0, 0, 0x80000000u},
      {"1.2E-38", list | kRealFlushSubnormal, 0, 0, 0, Bits(1.2e-38f)},
      {"-", list | kRealRejectEmpty, 0, 0, 1, 0},
      {"", list | kRealRejectEmpty, 0, 0, 0, 0},
      {"-0", list | kRealRejectEmpty, 0, 0, 0, 0x80000000u},
      {"1,5", list | kRealDecimalComma, 0, 0, 0, Bits(1.5f)},
      {"1.5", list | kRealDecimalComma, 0, 0, 1, 0},
      {"1.5D3", list | kRealOnlyE, 0, 0, 1, 0},
      {"1.5e3", list | kRealOnlyE, 0, 0, 0, Bits(1500.0f)},
      {"1.5+3", list | kRealNoSignOnlyExponent, 0, 0, 1, 0},
      {"1.5E+3", list | kRealNoSignOnlyExponent, 0, 0, 0, Bits(1500.0f)},
      {"15", list, 0, 1, 0, Bits(1.5f)},
      {"1.5", list, 0, 1, 0, Bits(1.5f)},
      {"15E1", list, 0, 2, 0, Bits(1.5f)},
      {"15", list, 1, 0, 0, Bits(1.5f)},
      {"15E1", list, 1, 0, 0, Bits(150.0f)},
      {"1.5", list, -2, 0, 0, Bits(150.0f)},
      {"15", list, 1, 1, 0, Bits(0.15f)},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " options " << c.options << " scale " << c.scale
                                    << " implied " << c.implied);
    float value;
    EXPECT_EQ(Single(c.text, &value, c.options, c.scale, c.implied), c.status);
    EXPECT_EQ(Bits(value), c.bits);
  }
  float value = 5;
  EXPECT_EQ(TextToSingle("1", -1, 0, 0, kListRealOptions, &value), 1);
  EXPECT_EQ(Bits(value), 0u);
}

TEST(TextToSingle, ReadsOnlyTheGivenLength) {
  const char* text = "1.5e3Infinity";
  float value;
  EXPECT_EQ(TextToSingle(text, 3, 0, 0, kListRealOptions, &value), 0);
  EXPECT_EQ(value, 1.5f);
  EXPECT_EQ(TextToSingle(text + 5, 5, 0, 0, kListRealOptions, &value), 1);  // "Infin"
  EXPECT_EQ(Bits(value), 0u);
  EXPECT_EQ(TextToSingle(text + 5, 3, 0, 0, kListRealOptions, &value), 0);  // "Inf"
  EXPECT_TRUE(std::isinf(value));
  EXPECT_EQ(TextToSingle("1E123", 3, 0, 0, kListRealOptions, &value), 0);  // "1E1"
  EXPECT_EQ(value, 10.0f);
}

// Each float f of the list and its successor: their midpoint exactly, just
// below and just above, written with 25 to 60 significant digits.
TEST(TextToSingle, HalfwayCasesRoundToNearestEven) {
  const float kUp = std::numeric_limits<float>::infinity();
  const float seeds[] = {1.0f,    3.0f,   0.1f,    1.0f / 3.0f, 123456.7f, 16777216.0f, 1e10f,
                         7.0e-5f, 1e-14f, 6.5e37f, 4.0e-13f,    1.0e-12f,  33554432.0f, 1e20f};
  for (float seed : seeds) {
    for (float f = seed, stop = std::nextafter(std::nextafter(seed, kUp), kUp); f != stop;
         f = std::nextafter(f, kUp)) {
      const float next = std::nextafter(f, kUp);
      const float even = (Bits(f) & 1) ? next : f;
      std::string digits;
      int exp10;
      ExactDigits((static_cast<double>(f) + static_cast<double>(next)) / 2, &digits, &exp10);
      ASSERT_LE(digits.size(), 60u);
      const struct {
        std::string digits;
        float expected;
      } variants[] = {
          {digits + std::string(digits.size() < 25 ? 25 - digits.size() : 0, '0'), even},
          {Below(digits, 25), f},
          {Below(digits, 60), f},
          {Above(digits, 25), next},
          {Above(digits, 60), next}};
      for (const auto& v : variants) {
        for (bool negative : {false, true}) {
          std::string text = negative ? "-" : "";
          text += WithExponent(v.digits, exp10);
          SCOPED_TRACE(text);
          float value;
          EXPECT_EQ(Single(text, &value), 0);
          EXPECT_EQ(Bits(value), Bits(negative ? -v.expected : v.expected));
        }
      }
    }
  }
}

// Values at the bottom and the top of the range, written exactly.
TEST(TextToSingle, RangeLimits) {
  const double tiny = std::ldexp(1.0, -149);
  const struct {
    double exact;  // written with all its digits
    int offset;    // -1 just below, 0 exactly, +1 just above
    int status;
    uint32_t bits;
  } cases[] = {
      {tiny, 0, 0, 1},
      {tiny, -1, 0, 1},
      {tiny, 1, 0, 1},
      {tiny / 2, 0, 0, 0},
      {tiny / 2, -1, 0, 0},
      {tiny / 2, 1, 0, 1},
      {tiny * 1.5, 0, 0, 2},
      {tiny * 2.5, 0, 0, 2},
      {tiny * 2.5, 1, 0, 3},
      {std::ldexp(1.0, -126), 0, 0, 0x00800000u},
      {std::ldexp(1.0, -126) - tiny, 0, 0, 0x007FFFFFu},
      {std::ldexp(1.0, -126) - tiny / 2, 0, 0, 0x00800000u},
      {std::ldexp(1.0, -126) - tiny / 2, -1, 0, 0x007FFFFFu},
      {3.40282346638528859811704183484516925440e38, 0, 0, 0x7F7FFFFFu},
      {std::ldexp(1.0, 128) - std::ldexp(1.0, 103), -1, 0, 0x7F7FFFFFu},
      {std::ldexp(1.0, 128) - std::ldexp(1.0, 103), 0, 1, 0x7F800000u},
      {std::ldexp(1.0, 128) - std::ldexp(1.0, 103), 1, 1, 0x7F800000u},
      {std::ldexp(1.0, 128), 0, 1, 0x7F800000u},
  };
  for (const auto& c : cases) {
    std::string digits;
    int exp10;
    ExactDigits(c.exact, &digits, &exp10);
    if (c.offset < 0) digits = Below(digits, digits.size() + 5);
    if (c.offset > 0) digits = Above(digits, digits.size() + 5);
    for (bool negative : {false, true}) {
      std::string text = negative ? "-" : "";
      text += WithExponent(digits, exp10);
      SCOPED_TRACE(text);
      float value;
      EXPECT_EQ(Single(text, &value), c.status);
      EXPECT_EQ(Bits(value), c.bits | (negative ? 0x80000000u : 0u));
    }
  }
}

// Digits far beyond the kept ones still decide a halfway case, both for
// single precision and for a double midpoint of 767 significant digits.
TEST(TextToSingle, VeryLongDigitStrings) {
  std::string half = "10000000596046447753906250";  // 1 + 2^-24, between 1 and 1 + 2^-23
  float value;
  std::string tie = std::string("1.") + half.substr(1) + std::string(3000, '0');
  EXPECT_EQ(Single(tie, &value), 0);
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(Single(tie + "1", &value), 0);
  EXPECT_EQ(value, std::nextafter(1.0f, 2.0f));
  EXPECT_EQ(Single(std::string("0.") + std::string(5000, '0') + "1E5001", &value), 0);
  EXPECT_EQ(value, 1.0f);
  EXPECT_EQ(Single(std::string(5000, '9') + "E-5000", &value), 0);
  EXPECT_EQ(value, 1.0f);
  // Seven significant exponent digits decide overflow and underflow alone.
  EXPECT_EQ(Single(std::string("0.") + std::string(1000000, '0') + "1E1000000", &value), 1);
  EXPECT_TRUE(std::isinf(value));
  EXPECT_EQ(Single(std::string("1") + std::string(1000000, '0') + "E-1000000", &value), 0);
  EXPECT_EQ(value, 0.0f);
  EXPECT_EQ(Single(std::string("1") + std::string(999999, '0') + "E-999999", &value), 0);
  EXPECT_EQ(value, 1.0f);

  // The smallest double subnormal times 1.5: ties to even give 2 units.
  std::string digits;
  int exp10;
  ExactDigits(0x1p-1074L * 1.5L, &digits, &exp10);
  ASSERT_GT(digits.size(), 700u);
  double d;
  EXPECT_EQ(Double(WithExponent(digits, exp10), &d), 0);
  EXPECT_EQ(Bits(d), 2u);
  EXPECT_EQ(Double(WithExponent(Below(digits, 2000), exp10), &d), 0);
  EXPECT_EQ(Bits(d), 1u);
  // Halfway between 1 and its successor, with the deciding digit past 800.
  ExactDigits(1.0L + 0x1p-53L, &digits, &exp10);
  EXPECT_EQ(Double(WithExponent(digits, exp10), &d), 0);
  EXPECT_EQ(d, 1.0);
  EXPECT_EQ(Double(WithExponent(Above(digits, 1500), exp10), &d), 0);
  EXPECT_EQ(d, std::nextafter(1.0, 2.0));
}

TEST(TextToDouble, RangeAndSpecials) {
  const struct {
    const char* text;
    int status;
    uint64_t bits;
  } cases[] = {
      {"7.9", 0, Bits(7.9)},
      {"1e10", 0, Bits(1e10)},
      {"1.7976931348623157E308", 0, Bits(1.7976931348623157e308)},
      {"1.7976931348623158079372897140530342e308", 1,
       0x7FF0000000000000u},  // just above the threshold
      {"1.7976931348623158079372897140530341e308", 0, Bits(1.7976931348623157e308)},
      {"-1E309", 1, 0xFFF0000000000000u},
      {"4.9406564584124654E-324", 0, 1},
      {"2.4703282292062328E-324", 0, 1},
      {"2.4703282292062327E-324", 0, 0},
      {"-1E-400", 0, 0x8000000000000000u},
      {"1.5D3", 0, Bits(1500.0)},
      {"NaN", 0, 0xFFF8000000000000u},
      {"+NaN", 0, 0x7FF8000000000000u},
      {"-Inf", 0, 0xFFF0000000000000u},
      {"1+2+3", 1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    double value;
    EXPECT_EQ(Double(c.text, &value), c.status);
    EXPECT_EQ(Bits(value), c.bits);
  }
}

#if defined(__SSE__)
// The computation runs with flush-to-zero and denormals-are-zero; input
// conversion still keeps subnormal results.
TEST(TextToSingle, KeepsSubnormalsUnderFlushToZero) {
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved | 0x8040u);
  const RealCase cases[] = {
      {"1E-40", 0, 0x000116C2u},
      {"-1.4E-45", 0, 0x80000001u},
      {"1.1754942E-38", 0, 0x007FFFFFu},
      {"1.17549435E-38", 0, 0x00800000u},
  };
  for (const RealCase& c : cases) {
    SCOPED_TRACE(c.text);
    float value;
    const int status = Single(c.text, &value);
    const uint32_t bits = Bits(value);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(bits, c.bits);
  }
  double d;
  const int status = Double("-5E-324", &d);
  const uint64_t bits = Bits(d);
  _mm_setcsr(saved);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(bits, 0x8000000000000001u);
}
#endif

// Random text of many shapes against the C library's conversion.
TEST(TextToSingle, AgreesWithCLibraryOnRandomText) {
  std::mt19937_64 rng(20261208);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<uint64_t>(n)); };
  const char* letters = "EeDdQq";
  std::string text, reference;
  for (int i = 0; i < 1000000; ++i) {
    text.clear();
    reference.clear();
    const int sign = pick(3);
    if (sign) text += sign == 1 ? "-" : "+";
    reference = text == "+" ? "" : text;
    // Mostly short values, sometimes long ones.
    const int ndigits = pick(10) == 0 ? 1 + pick(60) : 1 + pick(12);
    const int point = pick(ndigits + 2) - 1;  // -1: no point
    std::string significand;
    for (int k = 0; k < ndigits; ++k) {
      if (k == point) significand += '.';
      significand += static_cast<char>('0' + (pick(4) == 0 ? 0 : pick(10)));
    }
    if (point == ndigits) significand += '.';
    text += significand;
    reference += significand;
    const int shape = pick(4);
    if (shape > 0) {
      const int e = pick(3) == 0 ? pick(120) - 60 : pick(12) - 6;
      const std::string digits = std::to_string(std::abs(e));
      const char* esign = e < 0 ? "-" : (pick(2) ? "+" : "");
      if (shape == 1) {
        text += std::string(1, letters[pick(6)]) + esign + digits;
      } else if (shape == 2) {
        text += std::string(e < 0 ? "-" : "+") + digits;
      } else {
        text += std::string("e") + esign + std::string(pick(3), '0') + digits;
      }
      reference += std::string("e") + (e < 0 ? "-" : "") + digits;
    }
    const float expected = std::strtof(reference.c_str(), nullptr);
    float value;
    const int status = TextToSingle(text.data(), static_cast<int64_t>(text.size()), 0, 0,
                                    kListRealOptions, &value);
    if (Bits(value) != Bits(expected) || status != (std::isinf(expected) ? 1 : 0)) {
      FAIL() << "text " << text << " gave " << value << " status " << status << ", expected "
             << expected;
    }
  }
}

#ifdef HYSTERESIS_EXHAUSTIVE
// Every bit pattern written with 9 significant digits reads back unchanged.
TEST(TextToSingle, ExhaustiveRoundTrip) {
  char buf[64];
  uint64_t failures = 0;
  for (uint64_t pattern = 0; pattern <= 0xFFFFFFFFu; ++pattern) {
    const float f = std::bit_cast<float>(static_cast<uint32_t>(pattern));
    if (std::isnan(f)) continue;
    char* end = std::to_chars(buf, buf + sizeof buf, f, std::chars_format::scientific, 8).ptr;
    float value;
    if (TextToSingle(buf, end - buf, 0, 0, kListRealOptions, &value) != 0 ||
        Bits(value) != static_cast<uint32_t>(pattern)) {
      if (++failures < 10) ADD_FAILURE() << std::string(buf, end) << " pattern " << pattern;
    }
  }
  EXPECT_EQ(failures, 0u);
}
#endif

}  // namespace

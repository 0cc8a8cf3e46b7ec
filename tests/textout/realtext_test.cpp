// Tests of the 15-character field of a single-precision value, checked
// against a reference built from the exact decimal expansion of the value.
#include "textout/realtext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#endif
#ifdef HYSTERESIS_EXHAUSTIVE
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>
#endif

namespace {

// ---- Reference: exact decimal digits by big-integer arithmetic ----------

// An unsigned integer of up to 16 32-bit limbs, least significant first.
struct Big {
  uint32_t limb[16] = {};
  int n = 0;
};

void MulSmall(Big& b, uint32_t m) {
  uint64_t carry = 0;
  for (int i = 0; i < b.n; ++i) {
    const uint64_t cur = uint64_t{b.limb[i]} * m + carry;
    b.limb[i] = static_cast<uint32_t>(cur);
    carry = cur >> 32;
  }
  if (carry) b.limb[b.n++] = static_cast<uint32_t>(carry);
}

// Divides in place, returns the remainder.
uint32_t DivSmall(Big& b, uint32_t d) {
  uint64_t rem = 0;
  for (int i = b.n - 1; i >= 0; --i) {
    const uint64_t cur = rem << 32 | b.limb[i];
    b.limb[i] = static_cast<uint32_t>(cur / d);
    rem = cur % d;
  }
  while (b.n > 0 && b.limb[b.n - 1] == 0) --b.n;
  return static_cast<uint32_t>(rem);
}

// Decimal digits of b (nonzero) into out, most significant first; returns
// the count. b is consumed.
int ToDecimal(Big b, char* out) {
  char rev[160];
  int n = 0;
  while (b.n > 0) {
    uint32_t chunk = DivSmall(b, 1000000000u);
    for (int i = 0; i < 9; ++i) {
      rev[n++] = static_cast<char>('0' + chunk % 10);
      chunk /= 10;
    }
  }
  while (n > 1 && rev[n - 1] == '0') --n;
  for (int i = 0; i < n; ++i) out[i] = rev[n - 1 - i];
  return n;
}

struct RefDigits {
  char d[10];
  int k;
};

// The magnitude m x 2^e of the finite nonzero pattern, written exactly as
// 0.S x 10^k, rounded by hand to n digits, ties to the even digit.
RefDigits ReferenceRound(uint32_t bits, int n) {
  const uint32_t field = (bits >> 23) & 0xFF;
  const uint32_t fraction = bits & 0x7FFFFF;
  const uint32_t m = field ? (fraction | 0x800000u) : fraction;
  const int e = field ? static_cast<int>(field) - 150 : -149;
  Big b;
  b.limb[0] = m;
  b.n = 1;
  int scale = 0;  // value = b x 10^-scale
  if (e >= 0) {
    for (int i = 0; i < e; ++i) MulSmall(b, 2);
  } else {
    for (int i = 0; i < -e; ++i) MulSmall(b, 5);
    scale = -e;
  }
  char s[160];
  const int len = ToDecimal(b, s);
  RefDigits r{};
  r.k = len - scale;
  for (int i = 0; i < n; ++i) r.d[i] = i < len ? s[i] : '0';
  if (len <= n) return r;
  bool rest_nonzero = false;
  for (int i = n + 1; i < len; ++i) rest_nonzero |= s[i] != '0';
  const char next = s[n];
  const bool up = next > '5' || (next == '5' && (rest_nonzero || (r.d[n - 1] - '0') % 2 == 1));
  if (!up) return r;
  int i = n - 1;
  while (i >= 0 && r.d[i] == '9') r.d[i--] = '0';
  if (i >= 0) {
    ++r.d[i];
  } else {
    r.d[0] = '1';
    ++r.k;
  }
  return r;
}

// The field by the textual rule: 7-digit rounding decides the form.
std::string ReferenceField(uint32_t bits) {
  const float v = std::bit_cast<float>(bits);
  const bool negative = (bits >> 31) != 0;
  if (std::isnan(v)) return " NaN           ";
  if (std::isinf(v)) return negative ? " -Infinity     " : " Infinity      ";
  if ((bits & 0x7FFFFFFF) == 0) return "  0.0000000E+00";
  std::string text = negative ? "-" : "";
  const RefDigits d7 = ReferenceRound(bits, 7);
  if (d7.k >= 0 && d7.k <= 7) {
    const std::string digits(d7.d, 7);
    text += d7.k == 0 ? "0." + digits : digits.substr(0, d7.k) + "." + digits.substr(d7.k);
    return std::string(11 - text.size(), ' ') + text + "    ";
  }
  const RefDigits d8 = ReferenceRound(bits, 8);
  const int x = d8.k - 1;
  const int ax = x < 0 ? -x : x;
  text += std::string(1, d8.d[0]) + "." + std::string(d8.d + 1, 7) + "E" + (x < 0 ? "-" : "+") +
          static_cast<char>('0' + ax / 10) + static_cast<char>('0' + ax % 10);
  return std::string(15 - text.size(), ' ') + text;
}

std::string Field(uint32_t bits) {
  char out[RealText::kFieldWidth];
  RealText::to_list_field(bits, out);
  return std::string(out, RealText::kFieldWidth);
}

uint32_t Bits(float f) { return std::bit_cast<uint32_t>(f); }
constexpr uint32_t kSign = 0x80000000u;

// Deterministic 64-bit generator (splitmix64).
struct Rng {
  uint64_t s;
  uint32_t next() {
    uint64_t z = (s += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
  }
};

// ---- Tests ---------------------------------------------------------------

TEST(RealText, WorkedExamples) {
  struct Case {
    const char* name;
    uint32_t bits;
    int lead;
    const char* text;
    int trail;
  };
  const Case cases[] = {
      {"1.0", Bits(1.0f), 3, "1.000000", 4},
      {"0.5", Bits(0.5f), 2, "0.5000000", 4},
      {"-2.5", Bits(-2.5f), 2, "-2.500000", 4},
      {"123.456", Bits(123.456f), 3, "123.4560", 4},
      {"100.0", Bits(100.0f), 3, "100.0000", 4},
      {"1/3", Bits(1.0f / 3.0f), 2, "0.3333333", 4},
      {"2/3", Bits(2.0f / 3.0f), 2, "0.6666667", 4},
      {"1234567.5", Bits(1234567.5f), 3, "1234568.", 4},
      {"1234568.5", Bits(1234568.5f), 3, "1234568.", 4},
      {"9999999.0", Bits(9999999.0f), 3, "9999999.", 4},
      {"0.1", Bits(0.1f), 2, "0.1000000", 4},
      {"below 0.1", 0x3DCCCCCCu, 2, "9.9999994E-02", 0},
      {"0.01", Bits(0.01f), 2, "9.9999998E-03", 0},
      {"2^-12", Bits(0x1p-12f), 2, "2.4414062E-04", 0},
      {"1e7", Bits(10000000.0f), 2, "1.0000000E+07", 0},
      {"12345678", Bits(12345678.0f), 2, "1.2345678E+07", 0},
      {"3e38", Bits(3.0e38f), 2, "3.0000000E+38", 0},
      {"largest", 0x7F7FFFFFu, 2, "3.4028235E+38", 0},
      {"smallest subnormal", 0x00000001u, 2, "1.4012985E-45", 0},
      {"-1e-30", Bits(-1.0e-30f), 1, "-1.0000000E-30", 0},
      {"0.0", 0x00000000u, 2, "0.0000000E+00", 0},
      {"-0.0", 0x80000000u, 2, "0.0000000E+00", 0},
      {"+inf", 0x7F800000u, 1, "Infinity", 6},
      {"-inf", 0xFF800000u, 1, "-Infinity", 5},
      {"quiet NaN", 0x7FC00000u, 1, "NaN", 11},
      {"negative NaN", 0xFFC00000u, 1, "NaN", 11},
      {"signalling NaN", 0x7F800001u, 1, "NaN", 11},
      {"all ones", 0xFFFFFFFFu, 1, "NaN", 11},
      // Fixed form at k = 0 and k = 7 with a sign, and a carry into a new decade.
      {"-0.25", Bits(-0.25f), 1, "-0.2500000", 4},
      {"-9999999", Bits(-9999999.0f), 2, "-9999999.", 4},
      {"99999.996", Bits(99999.99609375f), 3, "100000.0", 4},
      {"largest subnormal", 0x007FFFFFu, 2, "1.1754942E-38", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string want = std::string(c.lead, ' ') + c.text + std::string(c.trail, ' ');
    ASSERT_EQ(want.size(), 15u);
    EXPECT_EQ(Field(c.bits), want);
    EXPECT_EQ(ReferenceField(c.bits), want);  // the reference agrees with the table too
  }
}

TEST(RealText, BoundariesOfTheFixedRange) {
  struct Case {
    uint32_t bits;
    bool fixed;
  };
  const Case cases[] = {
      {RealText::kFixedLowBits - 1, false},
      {RealText::kFixedLowBits, true},
      {RealText::kFixedHighBits, true},
      {RealText::kFixedHighBits + 1, false},
  };
  for (const Case& c : cases) {
    for (uint32_t sign : {0u, 0x80000000u}) {
      const uint32_t bits = c.bits | sign;
      SCOPED_TRACE(testing::Message() << std::hex << bits);
      const std::string f = Field(bits);
      EXPECT_EQ(f, ReferenceField(bits));
      EXPECT_EQ(f.substr(11) == "    ", c.fixed);
    }
  }
}

// Values that lie exactly halfway between two 7-digit (fixed) or 8-digit
// (exponent) results: they must round to the even last digit.
TEST(RealText, HalfwayCasesGoToEven) {
  int checked = 0;
  auto check = [&](float v, int digits) {
    const uint32_t bits = Bits(v);
    SCOPED_TRACE(testing::Message() << std::hex << bits);
    ASSERT_EQ(Field(bits), ReferenceField(bits));
    const RealText::RoundedDigits r = RealText::round_digits(bits, digits);
    EXPECT_EQ((r.digits[digits - 1] - '0') % 2, 0);
    ++checked;
  };
  // Fixed form: exactly 8 significant digits ending in 5 means v = t x 2^(k-8)
  // with t odd and v in [10^(k-1), 10^k).
  for (int k = 0; k <= 7; ++k) {
    const double lo = std::pow(10.0, k - 1), hi = std::pow(10.0, k);
    const double step = std::ldexp(1.0, k - 8);
    const uint64_t first = static_cast<uint64_t>(std::ceil(lo / step)) | 1;
    const uint64_t last = static_cast<uint64_t>(hi / step);
    const uint64_t stride = std::max<uint64_t>(2, ((last - first) / 2000) * 2);
    for (uint64_t t = first; t < last; t += stride) {
      const double v = static_cast<double>(t) * step;
      if (static_cast<double>(static_cast<float>(v)) == v) check(static_cast<float>(v), 7);
    }
  }
  // Exponent form: exactly 9 significant digits ending in 5, which binary32
  // allows only for t x 2^(k-9) with k = -1, -2, -3.
  for (int k = -3; k <= -1; ++k) {
    const double lo = std::pow(10.0, k - 1), hi = std::pow(10.0, k);
    const double step = std::ldexp(1.0, k - 9);
    for (uint64_t t = 1; t * step < hi; t += 2)
      if (t * step >= lo) {
        check(static_cast<float>(t * step), 8);
        check(-static_cast<float>(t * step), 8);
      }
  }
  EXPECT_GT(checked, 5000);
}

TEST(RealText, RoundDigitsCarriesIntoNewDecade) {
  struct Case {
    float v;
    int n;
    const char* digits;
    int k;
  };
  const Case cases[] = {
      {99999.99609375f, 7, "1000000", 6}, {9999999.0f, 8, "99999990", 7},
      {0.99999994f, 7, "9999999", 0},  // no carry: one below 1 keeps k = 0
      {0.99999994f, 8, "99999994", 0},    {1.0f, 7, "1000000", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.v);
    const RealText::RoundedDigits r = RealText::round_digits(Bits(c.v), c.n);
    EXPECT_EQ(std::string(r.digits, c.n), c.digits);
    EXPECT_EQ(r.k, c.k);
  }
}

// Every decade edge and the points where 7 or 8 digits round into the next
// decade (9.9999995 and 9.99999995 times a power of ten), with the floats
// around each, both signs, from the smallest subnormal to the largest float.
TEST(RealText, DecadeEdgesMatchExactExpansion) {
  int checked = 0;
  for (int j = -46; j <= 38; ++j) {
    for (const char* mantissa : {"1", "9.9999995", "9.99999995", "9.5", "9.9999999"}) {
      const std::string text = std::string(mantissa) + "e" + std::to_string(j);
      const float nearest = std::strtof(text.c_str(), nullptr);
      const uint32_t centre = Bits(nearest);
      for (int d = -3; d <= 3; ++d) {
        const uint32_t bits = centre + static_cast<uint32_t>(d);
        if (bits == 0 || bits >= 0x7F800000u) continue;
        for (uint32_t sign : {0u, kSign}) {
          SCOPED_TRACE(testing::Message() << text << " " << d << " " << std::hex << (bits | sign));
          ASSERT_EQ(Field(bits | sign), ReferenceField(bits | sign));
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 2000);
}

// round_digits for every digit count it takes, not only the field's 7 and 8.
TEST(RealText, RoundDigitsAllCountsMatchExactExpansion) {
  Rng rng{77};
  for (int i = 0; i < 300000; ++i) {
    const uint32_t bits = rng.next() & 0x7FFFFFFFu;
    if (bits == 0 || bits >= 0x7F800000u) continue;
    const int n = 1 + i % 9;
    const RealText::RoundedDigits got = RealText::round_digits(bits, n);
    const RefDigits want = ReferenceRound(bits, n);
    if (std::string(got.digits, n) != std::string(want.d, n) || got.k != want.k) {
      ADD_FAILURE() << std::hex << bits << std::dec << " n=" << n << ": "
                    << std::string(got.digits, n) << " k=" << got.k << ", want "
                    << std::string(want.d, n) << " k=" << want.k;
      return;
    }
  }
}

// round_digits at the decade edges where the scaled significand stops
// fitting one word (10^(n-18) and 10^(n-17)) and where the scale turns into a
// division (10^(n-1) and 10^n), for every digit count, with the floats around
// each edge.
TEST(RealText, RoundDigitsAtTheEdgesOfTheOneWordScale) {
  int checked = 0;
  for (int n = 1; n <= 9; ++n) {
    for (int j : {n - 18, n - 17, n - 1, n}) {
      const std::string text = "1e" + std::to_string(j);
      const uint32_t centre = Bits(std::strtof(text.c_str(), nullptr));
      for (int d = -4; d <= 4; ++d) {
        const uint32_t bits = centre + static_cast<uint32_t>(d);
        const RealText::RoundedDigits got = RealText::round_digits(bits, n);
        const RefDigits want = ReferenceRound(bits, n);
        SCOPED_TRACE(testing::Message() << "n=" << n << " " << std::hex << bits);
        EXPECT_EQ(std::string(got.digits, n), std::string(want.d, n));
        EXPECT_EQ(got.k, want.k);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 9 * 4 * 9);
}

TEST(RealText, RandomPatternsMatchExactExpansion) {
  Rng rng{20261208};
  for (int i = 0; i < 4000000; ++i) {
    const uint32_t bits = rng.next();
    const std::string got = Field(bits);
    if (got != ReferenceField(bits)) {
      ADD_FAILURE() << std::hex << bits << ": '" << got << "' want '" << ReferenceField(bits)
                    << "'";
      return;
    }
  }
  // The fixed range and its neighbourhood get a denser sample of their own.
  const uint32_t lo = RealText::kFixedLowBits - 0x01000000u;
  const uint32_t span = RealText::kFixedHighBits + 0x01000000u - lo;
  for (int i = 0; i < 1500000; ++i) {
    const uint32_t bits = (lo + rng.next() % span) | (rng.next() & 0x80000000u);
    const std::string got = Field(bits);
    if (got != ReferenceField(bits)) {
      ADD_FAILURE() << std::hex << bits << ": '" << got << "' want '" << ReferenceField(bits)
                    << "'";
      return;
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
// Subnormals keep their exact digits with flush-to-zero and
// denormals-are-zero switched on in the SSE control register.
TEST(RealText, SubnormalsExactUnderFlushToZero) {
  const unsigned saved = _mm_getcsr();
  _mm_setcsr(saved | 0x8040u);  // FTZ (bit 15) and DAZ (bit 6)
  std::string first_bad;
  for (uint32_t f = 1; f < 0x800000u && first_bad.empty(); f += (f < 4096 ? 1 : 997)) {
    for (uint32_t bits : {f, f | 0x80000000u})
      if (Field(bits) != ReferenceField(bits)) first_bad = std::to_string(bits);
  }
  const std::string top = Field(0x007FFFFFu);
  _mm_setcsr(saved);
  EXPECT_EQ(first_bad, "");
  EXPECT_EQ(top, "  1.1754942E-38");
}
#endif

#ifdef HYSTERESIS_EXHAUSTIVE
// Every one of the 2^32 patterns, split over the processor's threads.
TEST(RealText, AllPatternsExhaustive) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<uint64_t> failures{0};
  std::mutex report_lock;
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (uint64_t b = t; b <= 0xFFFFFFFFull; b += threads) {
        const uint32_t bits = static_cast<uint32_t>(b);
        if (Field(bits) == ReferenceField(bits)) continue;
        if (failures++ < 20) {
          std::lock_guard<std::mutex> g(report_lock);
          ADD_FAILURE() << std::hex << bits << ": '" << Field(bits) << "' want '"
                        << ReferenceField(bits) << "'";
        }
      }
    });
  }
  for (std::thread& th : pool) th.join();
  EXPECT_EQ(failures.load(), 0u);
}
#endif

}  // namespace

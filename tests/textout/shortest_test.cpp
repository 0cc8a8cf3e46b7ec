// Tests of the shortest text of doubles and floats and of the digits of
// integers: the same characters as std::to_chars, on the values where the
// layout or the search changes and on random bit patterns (every float with
// HYSTERESIS_EXHAUSTIVE).
#include "textout/shortest.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>
#ifdef HYSTERESIS_EXHAUSTIVE
#include <atomic>
#include <thread>
#endif

namespace {

// What `write` (buffer -> end) writes into a buffer of exactly kRoom bytes,
// so that a store beyond the room is a fault under the sanitizer; the
// sentinel behind catches it too.
template <typename Write>
std::string InRoom(Write write) {
  char buffer[Shortest::kRoom + 1];
  buffer[Shortest::kRoom] = '\x7f';
  char* end = write(buffer);
  EXPECT_EQ(buffer[Shortest::kRoom], '\x7f');
  return std::string(buffer, end);
}

template <typename T>
std::string Text(T v) {
  return InRoom([v](char* buffer) { return Shortest::Write(buffer, v); });
}

template <typename T>
std::string Library(T v) {
  char buffer[64];
  char* end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
  return std::string(buffer, end);
}

uint64_t NextRandom(uint64_t& s) {
  uint64_t z = (s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

TEST(Shortest, DoublesWhereTheFormOrTheSearchChanges) {
  constexpr double kMin = std::numeric_limits<double>::denorm_min();
  const struct {
    double v;
    const char* text;
  } cases[] = {
      {0.0, "0"},
      {-0.0, "-0"},
      {std::numeric_limits<double>::infinity(), "inf"},
      {-std::numeric_limits<double>::infinity(), "-inf"},
      {1.0, "1"},
      {0.1, "0.1"},
      {0.001, "0.001"},  // fixed as long as scientific: fixed
      {0.0001, "1e-04"},
      {1500.0, "1500"},
      {1e22, "1e+22"},
      {123456789012345680000.0, "123456789012345683968"},  // fixed: every digit
      {1.7976931348623157e308, "1.7976931348623157e+308"},
      {2.2250738585072014e-308, "2.2250738585072014e-308"},  // smallest normal
      {kMin, "5e-324"},  // significands too short for the search
      {2 * kMin, "1e-323"},
      {4 * kMin, "2e-323"},
      {9007199254740993.0, "9007199254740992"},  // integers of the fast path
      {0.30000000000000004, "0.30000000000000004"},
      {6.108748493716121e-05, "6.108748493716121e-05"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Text(c.v), c.text) << c.text;
    EXPECT_EQ(Text(c.v), Library(c.v)) << c.text;
  }
  EXPECT_EQ(Text(std::numeric_limits<double>::quiet_NaN()),
            Library(std::numeric_limits<double>::quiet_NaN()));
  EXPECT_EQ(Text(-std::numeric_limits<double>::quiet_NaN()),
            Library(-std::numeric_limits<double>::quiet_NaN()));
}

// Every binary exponent with the significands at both ends (powers of two
// have an uneven interval), and the smallest subnormals.
TEST(Shortest, EveryExponentAtItsEnds) {
  for (uint64_t e = 0; e < 0x7FF; ++e) {
    for (uint64_t f = 0; f < 24; ++f) {
      for (const uint64_t bits : {(e << 52) | f, (e << 52) | ((uint64_t{1} << 52) - 1 - f)}) {
        const auto v = std::bit_cast<double>(bits);
        ASSERT_EQ(Text(v), Library(v)) << std::hex << bits;
      }
    }
  }
  for (uint32_t e = 0; e < 0xFF; ++e) {
    for (uint32_t f = 0; f < 24; ++f) {
      for (const uint32_t bits : {(e << 23) | f, (e << 23) | ((1u << 23) - 1 - f)}) {
        const auto v = std::bit_cast<float>(bits);
        ASSERT_EQ(Text(v), Library(v)) << std::hex << bits;
      }
    }
  }
}

// Random patterns, and the values of a loops.csv row: halves of sums and
// differences of floats, integers and the reciprocal of a double.
TEST(Shortest, RandomPatternsAndRowValues) {
  uint64_t s = 19;
  for (int i = 0; i < 400000; ++i) {
    const uint64_t r = NextRandom(s);
    const auto d = std::bit_cast<double>(r);
    const auto f = std::bit_cast<float>(static_cast<uint32_t>(r));
    ASSERT_EQ(Text(d), Library(d)) << std::hex << r;
    ASSERT_EQ(Text(f), Library(f)) << std::hex << r;
    const auto a = std::bit_cast<float>(static_cast<uint32_t>(r) & 0x7FFFFFFFu);
    const auto b = std::bit_cast<float>(static_cast<uint32_t>(r >> 32) & 0x7FFFFFFFu);
    for (const double v :
         {(double{a} - b) / 2, (double{a} + b) / 2, 1 / d, static_cast<double>(r >> 11)}) {
      ASSERT_EQ(Text(v), Library(v)) << std::hex << r;
    }
  }
}

std::string IntegerText(int64_t v) {
  return InRoom([v](char* buffer) { return Shortest::WriteInteger(buffer, v); });
}

// Integers: each side of every power of ten up to the word of eight digits
// and past it, negatives and the ends of the type, then a sample of the
// eight-digit range (all of it with HYSTERESIS_EXHAUSTIVE).
TEST(Shortest, IntegersAsToChars) {
  std::vector<int64_t> values = {0, -1, INT64_MIN, INT64_MAX, -99999999};
  for (int64_t p = 1; p <= 1000000000000; p *= 10) values.insert(values.end(), {p - 1, p, p + 1});
  for (const int64_t v : values) ASSERT_EQ(IntegerText(v), Library(v)) << v;
#ifdef HYSTERESIS_EXHAUSTIVE
  constexpr int64_t kStride = 1;
#else
  constexpr int64_t kStride = 997;
#endif
  for (int64_t v = 0; v < 100000000; v += kStride) ASSERT_EQ(IntegerText(v), Library(v)) << v;
}

#ifdef HYSTERESIS_EXHAUSTIVE
// Every one of the 2^32 float patterns, split over the processor's threads.
TEST(Shortest, AllFloatsExhaustive) {
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::atomic<uint64_t> failures{0};
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < threads; ++t) {
    pool.emplace_back([&, t] {
      for (uint64_t b = t; b <= 0xFFFFFFFFull; b += threads) {
        const auto v = std::bit_cast<float>(static_cast<uint32_t>(b));
        char mine[Shortest::kRoom], theirs[64];
        const char* end = Shortest::Write(mine, v);
        const char* lib_end = std::to_chars(theirs, theirs + sizeof theirs, v).ptr;
        if (end - mine == lib_end - theirs && std::memcmp(mine, theirs, end - mine) == 0) continue;
        failures++;
      }
    });
  }
  for (std::thread& th : pool) th.join();
  EXPECT_EQ(failures.load(), 0u);
}
#endif

}  // namespace

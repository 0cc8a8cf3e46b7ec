// Speed of the 15-character field of a single-precision value: ns per field for
// random finite values, strain- and stress-like values, and the library digits alone.
#include "textout/realtext.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t kPatterns = 4096;

uint32_t NextRandom(uint64_t& s) {
  uint64_t z = (s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 16);
}

// Finite patterns with every exponent equally likely.
std::vector<uint32_t> RandomFinite() {
  std::vector<uint32_t> v;
  uint64_t s = 1;
  while (v.size() < kPatterns) {
    const uint32_t b = NextRandom(s);
    if ((b & 0x7F800000u) != 0x7F800000u) v.push_back(b);
  }
  return v;
}

// Alternating strains (about 1e-3, exponent form) and stresses (tens to
// hundreds, fixed form), as in the program's output file.
std::vector<uint32_t> HistoryLike() {
  std::vector<uint32_t> v;
  uint64_t s = 2;
  for (size_t i = 0; i < kPatterns; i += 2) {
    const float strain = (static_cast<float>(NextRandom(s) % 20000) - 10000.0f) * 1e-7f;
    const float stress = (static_cast<float>(NextRandom(s) % 60000) - 30000.0f) * 0.01f;
    v.push_back(std::bit_cast<uint32_t>(strain));
    v.push_back(std::bit_cast<uint32_t>(stress));
  }
  return v;
}

void RunFields(benchmark::State& state, const std::vector<uint32_t>& patterns) {
  char out[RealText::kFieldWidth];
  size_t i = 0;
  for (auto _ : state) {
    RealText::to_list_field(patterns[i++ & (kPatterns - 1)], out);
    benchmark::DoNotOptimize(out);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_FieldRandomFinite(benchmark::State& state) { RunFields(state, RandomFinite()); }
BENCHMARK(BM_FieldRandomFinite);

void BM_FieldHistoryLike(benchmark::State& state) { RunFields(state, HistoryLike()); }
BENCHMARK(BM_FieldHistoryLike);

// The library's correctly rounded digits alone, for comparison.
void BM_LibraryScientific8Digits(benchmark::State& state) {
  const std::vector<uint32_t> patterns = HistoryLike();
  char out[32];
  size_t i = 0;
  for (auto _ : state) {
    const float f = std::bit_cast<float>(patterns[i++ & (kPatterns - 1)]);
    benchmark::DoNotOptimize(std::to_chars(out, out + sizeof out, static_cast<double>(f),
                                           std::chars_format::scientific, 7));
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LibraryScientific8Digits);

}  // namespace

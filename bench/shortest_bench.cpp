// Speed of the shortest text of a double and of a float against
// std::to_chars: ns per number for the values of a loops.csv row and for
// random bit patterns.
#include "textout/shortest.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr size_t kValues = 4096;

uint64_t NextRandom(uint64_t& s) {
  uint64_t z = (s += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

float Uniform(uint64_t& s, float lo, float hi) {
  return lo + (hi - lo) * static_cast<float>(NextRandom(s) >> 40) * 0x1p-24f;
}

// The doubles of a row: amplitudes and the mean of single-precision strains
// and stresses, a damage parameter, cycles to failure and their reciprocal.
std::vector<double> RowLike() {
  std::vector<double> v;
  uint64_t s = 1;
  while (v.size() < kValues) {
    const double e1 = Uniform(s, -3e-3f, 3e-3f), e2 = Uniform(s, -3e-3f, 3e-3f);
    const double s1 = Uniform(s, -400.0f, 400.0f), s2 = Uniform(s, -400.0f, 400.0f);
    const double cycles = std::exp(Uniform(s, 5.0f, 40.0f));
    v.insert(v.end(), {(e1 - e2) / 2, (s1 - s2) / 2, (s1 + s2) / 2, std::sqrt(s1 * e1 * 206000.0),
                       cycles, 1 / cycles});
  }
  return v;
}

std::vector<double> RandomDoubles() {
  std::vector<double> v;
  uint64_t s = 2;
  while (v.size() < kValues) {
    const double d = std::bit_cast<double>(NextRandom(s));
    if (std::isfinite(d)) v.push_back(d);
  }
  return v;
}

// Strains and stresses of a path, as the four path columns hold them.
std::vector<float> PathLike() {
  std::vector<float> v;
  uint64_t s = 3;
  while (v.size() < kValues) v.insert(v.end(), {Uniform(s, -3e-3f, 3e-3f), Uniform(s, -400, 400)});
  return v;
}

template <typename T, bool kLibrary>
void Run(benchmark::State& state, const std::vector<T>& values) {
  char out[32];
  size_t i = 0;
  for (auto _ : state) {
    const T v = values[i++ % values.size()];
    char* end = kLibrary ? std::to_chars(out, out + sizeof out, v).ptr : Shortest::Write(out, v);
    benchmark::DoNotOptimize(end);
    benchmark::ClobberMemory();
  }
}

void BM_ShortestRowDoubles(benchmark::State& s) { Run<double, false>(s, RowLike()); }
void BM_ToCharsRowDoubles(benchmark::State& s) { Run<double, true>(s, RowLike()); }
void BM_ShortestRandomDoubles(benchmark::State& s) { Run<double, false>(s, RandomDoubles()); }
void BM_ToCharsRandomDoubles(benchmark::State& s) { Run<double, true>(s, RandomDoubles()); }
void BM_ShortestPathFloats(benchmark::State& s) { Run<float, false>(s, PathLike()); }
void BM_ToCharsPathFloats(benchmark::State& s) { Run<float, true>(s, PathLike()); }

BENCHMARK(BM_ShortestRowDoubles);
BENCHMARK(BM_ToCharsRowDoubles);
BENCHMARK(BM_ShortestRandomDoubles);
BENCHMARK(BM_ToCharsRandomDoubles);
BENCHMARK(BM_ShortestPathFloats);
BENCHMARK(BM_ToCharsPathFloats);

}  // namespace

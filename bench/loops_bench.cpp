// Speed of the loop count on a noisy path of 10^6 entries: most entries go
// on in the current direction, many reverse and close small loops; fed one
// entry at a time and as runs of single-precision arrays.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "fatigue/loops.h"

namespace {

constexpr int kEntries = 1000000;

// Slow waves under smoothed noise, the shape of a measured strain history,
// with stresses that only need to be carried along.
struct NoisyPath {
  std::vector<double> strain, stress;

  NoisyPath() {
    std::mt19937_64 rng(19);
    std::normal_distribution<double> noise(0.0, 0.0015);
    double smooth = 0.0;
    for (int i = 0; i < kEntries; ++i) {
      smooth = 0.9 * smooth + 0.1 * noise(rng);
      const double e = 0.004 * std::sin(0.003 * i) + 0.002 * std::sin(0.041 * i + 1.0) + smooth;
      strain.push_back(e);
      stress.push_back(206000.0 * e);
    }
  }
};

void CountLoop(const Loop& loop, void* context) {
  *static_cast<double*>(context) += loop.count * (loop.b.strain - loop.c.strain);
}

void BM_FeedPathNoisy(benchmark::State& state) {
  static const NoisyPath path;
  LoopCounter counter;
  for (auto _ : state) {
    double sum = 0.0;
    for (int i = 0; i < kEntries; ++i)
      FeedPath(counter, path.strain[i], path.stress[i], CountLoop, &sum);
    FinishPath(counter, ResidueMode::kHalfCycles, CountLoop, &sum);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_FeedPathNoisy)->Unit(benchmark::kMillisecond);

// The same path as the single-precision arrays of a computed one, fed in
// pieces of 2^16 entries as hysteresis-life feeds them.
void BM_FeedPathRunNoisy(benchmark::State& state) {
  static const NoisyPath path;
  const std::vector<float> strain(path.strain.begin(), path.strain.end());
  const std::vector<float> stress(path.stress.begin(), path.stress.end());
  constexpr int kPiece = 1 << 16;
  LoopCounter counter;
  for (auto _ : state) {
    double sum = 0.0;
    for (int i = 0; i < kEntries; i += kPiece) {
      FeedPathRun(counter, strain.data() + i, stress.data() + i, std::min(kPiece, kEntries - i),
                  CountLoop, &sum);
    }
    FinishPath(counter, ResidueMode::kHalfCycles, CountLoop, &sum);
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_FeedPathRunNoisy)->Unit(benchmark::kMillisecond);

}  // namespace

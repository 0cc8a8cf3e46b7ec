// Speed of the stepping on a workload-like job: a 240-point Ramberg-Osgood
// backbone and a band-limited random strain history that reverses often.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "compute/stepping.h"
#include "compute/tables.h"
#include "support/backbone.h"

namespace {

constexpr int kPoints = 240;      // backbone points after the origin
constexpr int kEntries = 1000000;

// A Ramberg-Osgood backbone of kPoints + 1 points.
testsupport::BackboneTables Backbone() {
  std::vector<float> ey, sy;
  for (int i = 0; i <= kPoints; ++i) {
    const double stress = 800.0 * i / kPoints;
    ey.push_back(static_cast<float>(stress / 206000.0 + std::pow(stress / 1184.0, 1.0 / 0.187)));
    sy.push_back(static_cast<float>(stress));
  }
  return testsupport::BackboneTables(std::move(ey), std::move(sy));
}

// The backbone tables and branch storage of one job, rebuilt before each run.
struct Job : testsupport::BackboneTables {
  std::vector<float> def, sig;

  Job() : BackboneTables(Backbone()) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> uni(0.0, 1.0);
    std::normal_distribution<double> noise(0.0, 0.0015);
    double amp[6], freq[6], phase[6], smooth = 0.0;
    for (int w = 0; w < 6; ++w) {
      amp[w] = 0.004 * uni(rng);
      freq[w] = 0.001 + 0.05 * uni(rng);
      phase[w] = 6.283185307 * uni(rng);
    }
    for (int i = 0; i < kEntries; ++i) {
      double v = 0.0;
      for (int w = 0; w < 6; ++w) v += amp[w] * std::sin(freq[w] * i + phase[w]);
      smooth = 0.9 * smooth + 0.1 * noise(rng);
      def.push_back(static_cast<float>(v + smooth));
    }
    def[0] = 0.0f;
    sig.assign(def.size(), 0.0f);
  }
};

void BM_StepHistoryWorkload(benchmark::State& state) {
  static Job job;
  for (auto _ : state) {
    job.Reset();
    StepState s;
    StepHistory(job.t, s, job.def.data(), job.sig.data(), kEntries - 1);
    benchmark::DoNotOptimize(job.sig.data());
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_StepHistoryWorkload)->Unit(benchmark::kMillisecond);

}  // namespace

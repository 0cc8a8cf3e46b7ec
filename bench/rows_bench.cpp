// Speed of what hysteresis-life does with each counted cycle: its damage on
// the curve of the workload's material, and its row of "loops.csv", on the
// loops of a path shaped like the workload's (ns per loop).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <random>
#include <vector>

#include "fatigue/loops.h"
#include "fatigue/strainlife.h"
#include "life/report.h"

namespace {

constexpr int kEntries = 400000;

// Slow waves under smoothed noise in single precision, with a stress that
// follows the strain up to a flow stress: loops of either sign, most small.
std::vector<Loop> WorkloadLoops() {
  std::mt19937_64 rng(7);
  std::normal_distribution<double> noise(0.0, 0.0015);
  std::vector<Loop> loops;
  LoopCounter counter;
  auto keep = [](const Loop& loop, void* context) {
    static_cast<std::vector<Loop>*>(context)->push_back(loop);
  };
  double smooth = 0.0;
  for (int i = 0; i < kEntries; ++i) {
    smooth = 0.9 * smooth + 0.1 * noise(rng);
    const double e = 0.003 * std::sin(0.002 * i) + 0.002 * std::sin(0.031 * i + 1.0) + smooth;
    const auto strain = static_cast<float>(e);
    const auto stress = static_cast<float>(std::clamp(206000.0 * e - 60.0, -420.0, 420.0));
    FeedPath(counter, strain, stress, keep, &loops);
  }
  return loops;
}

LifeCurve WorkloadCurve() {
  return PrepareLifeCurve(LifeMaterial{206000, 1130, -0.087, 0.57, -0.58},
                          DamageParameterKind::kSwt);
}

void BM_AssessLoops(benchmark::State& state) {
  static const std::vector<Loop> loops = WorkloadLoops();
  const LifeCurve curve = WorkloadCurve();
  for (auto _ : state) {
    double sum = 0.0;
    for (const Loop& l : loops) sum += AssessLoop(curve, l).damage;
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(loops.size()));
}
BENCHMARK(BM_AssessLoops)->Unit(benchmark::kMillisecond);

void BM_FormatRows(benchmark::State& state) {
  static const std::vector<Loop> loops = WorkloadLoops();
  const LifeCurve curve = WorkloadCurve();
  std::vector<LoopDamage> damage;
  for (const Loop& l : loops) damage.push_back(AssessLoop(curve, l));
  auto text = std::make_unique<char[]>(1024 * Life::kCsvRowMax);
  for (auto _ : state) {
    size_t used = 0;
    for (size_t i = 0; i < loops.size(); ++i) {
      if (used > 1023 * Life::kCsvRowMax) used = 0;
      used += Life::FormatCsvRow(loops[i], damage[i], text.get() + used);
    }
    benchmark::DoNotOptimize(text.get());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(loops.size()));
}
BENCHMARK(BM_FormatRows)->Unit(benchmark::kMillisecond);

}  // namespace

// Speed of the stepping on a workload-like job: a 240-point Ramberg-Osgood
// backbone and a band-limited random strain history that reverses often.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "compute/stepping.h"
#include "compute/tables.h"
#include "stepping_job.h"

namespace {

// The stepping inside the program on `entries` entries.
void StepHistoryOn(benchmark::State& state, benchjob::Job& job) {
  const int64_t entries = static_cast<int64_t>(job.def.size());
  for (auto _ : state) {
    job.Reset();
    StepState s;
    StepHistory(job.t, s, job.def.data(), job.sig.data(), entries - 1);
    benchmark::DoNotOptimize(job.sig.data());
  }
  state.SetItemsProcessed(state.iterations() * entries);
}

void BM_StepHistoryWorkload(benchmark::State& state) {
  static benchjob::Job job(1000000);
  StepHistoryOn(state, job);
}
BENCHMARK(BM_StepHistoryWorkload)->Unit(benchmark::kMillisecond);

// 10^7 entries: the reference of the library's feed (api_bench.cpp).
void BM_StepHistoryWorkload10M(benchmark::State& state) {
  static benchjob::Job job(10000000);
  StepHistoryOn(state, job);
}
BENCHMARK(BM_StepHistoryWorkload10M)->Unit(benchmark::kMillisecond);

}  // namespace

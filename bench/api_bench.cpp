// Speed of the library's stepper: the job of the stepping benchmark, 10^7
// strains fed in pieces of 4096, against BM_StepHistoryWorkload10M.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "hysteresis/hysteresis.h"
#include "stepping_job.h"

namespace {

void BM_ApiFeedWorkload10M(benchmark::State& state) {
  static const benchjob::Job job(10000000);
  const size_t piece = static_cast<size_t>(state.range(0));
  std::vector<float> stress(job.def.size());
  hys_backbone* backbone = nullptr;
  hys_stepper* stepper = nullptr;
  if (hys_backbone_create(job.t.N, job.ey.data(), job.sy.data(), &backbone) != HYS_OK ||
      hys_stepper_create(backbone, &stepper) != HYS_OK) {
    state.SkipWithError("the job's backbone is refused");
    return;
  }
  for (auto _ : state) {
    hys_stepper_reset(stepper);
    for (size_t i = 0; i < job.def.size(); i += piece) {
      const size_t n = std::min(piece, job.def.size() - i);
      hys_stepper_feed(stepper, job.def.data() + i, stress.data() + i, n);
    }
    benchmark::DoNotOptimize(stress.data());
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(job.def.size()));
  hys_stepper_free(stepper);
  hys_backbone_free(backbone);
}
BENCHMARK(BM_ApiFeedWorkload10M)->Arg(4096)->Unit(benchmark::kMillisecond);

}  // namespace

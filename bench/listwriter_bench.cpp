// Speed of list-directed output: ns per statement of two REAL(4) items (one
// record) on a unit writing to /dev/null or a temporary file, unbuffered and
// buffered, made with begin and put or, as the driver makes them, in one call.
#include "textout/listwriter.h"
#include "textout/pairtext.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "runtime/items.h"
#include "runtime/statement.h"
#include "runtime/units.h"

namespace {

// Connects `number` to `path`; optionally switches the unit to buffered
// mode. Returns false when the connection fails.
bool Connect(int number, const std::string& path, bool buffered) {
  if (ConnectNamedFile(number, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())) !=
      0)
    return false;
  UnitBlock* u = nullptr;
  if (AcquireUnit(number, &u) != 0) return false;
  if (buffered) u->flags |= kUnitBuffered;
  ReleaseUnit(u);
  return true;
}

void Close(int number) {
  UnitBlock* u = nullptr;
  if (AcquireUnit(number, &u) != 0) return;
  CloseUnit(u);
  ReleaseUnit(u);
}

void RunStatements(benchmark::State& state, int number, const std::string& path, bool buffered) {
  if (!Connect(number, path, buffered)) {
    state.SkipWithError("the unit cannot be connected");
    return;
  }
  float strain = 0.0012345f, stress = -250.125f;
  const OutItem first{kTypeReal4, &strain, 4};
  const OutItem second{kTypeReal4, &stress, 4};
  for (auto _ : state) {
    if (ListWriter::begin(number, kErrStatusWanted, &first, true) != 0 ||
        ListWriter::put(second, false) != 0) {
      state.SkipWithError("write failed");
      break;
    }
    strain += 1e-7f;
    stress += 0.5f;
  }
  Close(number);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * 32);
}

void BM_TwoRealsDevNull(benchmark::State& state) { RunStatements(state, 80, "/dev/null", false); }
BENCHMARK(BM_TwoRealsDevNull);

void BM_TwoRealsDevNullBuffered(benchmark::State& state) {
  RunStatements(state, 81, "/dev/null", true);
}
BENCHMARK(BM_TwoRealsDevNullBuffered);

void BM_TwoRealsTempFile(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "hysteresis-listwriter-bench.txt").string();
  RunStatements(state, 82, path, false);
  std::filesystem::remove(path);
}
BENCHMARK(BM_TwoRealsTempFile);

void BM_TwoRealsTempFileBuffered(benchmark::State& state) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "hysteresis-listwriter-bench-b.txt").string();
  RunStatements(state, 83, path, true);
  std::filesystem::remove(path);
}
BENCHMARK(BM_TwoRealsTempFileBuffered);

constexpr int kPairs = 4096;  // entries per call of the pair benchmarks

// kPairs history-like strains and stresses: noisy, as a measured history
// is, with both signs and the stresses in one to three leading digits, so
// that a branch on the digits or the sign costs what it costs there.
void MakePairs(std::vector<float>* strain, std::vector<float>* stress) {
  strain->resize(kPairs);
  stress->resize(kPairs);
  uint64_t state = 20261209;
  auto uniform = [&state] {  // -1 to 1
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<float>(static_cast<int32_t>(state >> 32)) * 0x1p-31f;
  };
  for (int i = 0; i < kPairs; ++i) {
    (*strain)[i] = 2e-3f * uniform();
    (*stress)[i] = 300.0f * uniform();
  }
}

// The driver's output: 4096 statements per call of write_real_pairs, on
// /dev/null, buffered or not.
void RunPairs(benchmark::State& state, int number, bool buffered) {
  if (!Connect(number, "/dev/null", buffered)) {
    state.SkipWithError("the unit cannot be connected");
    return;
  }
  std::vector<float> strain, stress;
  MakePairs(&strain, &stress);
  for (auto _ : state) {
    if (ListWriter::write_real_pairs(number, kErrStatusWanted, strain.data(), stress.data(),
                                     kPairs) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  Close(number);
  state.SetItemsProcessed(state.iterations() * kPairs);
  state.SetBytesProcessed(state.iterations() * kPairs * 32);
}

// The main thread's share of the buffered output on two threads: records
// formed ahead (PairText::form, not timed) handed to the unit in runs.
void BM_FormedPairsDevNullBuffered(benchmark::State& state) {
  constexpr int number = 86;
  if (!Connect(number, "/dev/null", true)) {
    state.SkipWithError("the unit cannot be connected");
    return;
  }
  std::vector<float> strain, stress;
  MakePairs(&strain, &stress);
  std::vector<char> text(kPairs * 32);
  PairText::form(strain.data(), stress.data(), kPairs, "\r\n", 2, text.data());
  for (auto _ : state) {
    if (ListWriter::write_formed_pairs(number, kErrStatusWanted, strain.data(), stress.data(),
                                       text.data(), 2, kPairs) != 0) {
      state.SkipWithError("write failed");
      break;
    }
  }
  Close(number);
  state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_FormedPairsDevNullBuffered);

// The worker's share: forming the records of a chunk.
void BM_PairTextForm(benchmark::State& state) {
  std::vector<float> strain, stress;
  MakePairs(&strain, &stress);
  std::vector<char> text(kPairs * 32);
  for (auto _ : state) {
    PairText::form(strain.data(), stress.data(), kPairs, "\r\n", 2, text.data());
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations() * kPairs);
}
BENCHMARK(BM_PairTextForm);

void BM_PairsInOneCallDevNull(benchmark::State& state) { RunPairs(state, 84, false); }
BENCHMARK(BM_PairsInOneCallDevNull);

void BM_PairsInOneCallDevNullBuffered(benchmark::State& state) { RunPairs(state, 85, true); }
BENCHMARK(BM_PairsInOneCallDevNullBuffered);

}  // namespace

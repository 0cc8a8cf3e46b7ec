// Speed of list-directed output: ns per statement of two REAL(4) items (one
// record) on a unit writing to /dev/null or a temporary file, unbuffered and buffered.
#include "textout/listwriter.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "runtime/items.h"
#include "runtime/units.h"

namespace {

// Connects `number` to `path`; optionally switches the unit to buffered
// mode. Returns false when the connection fails.
bool Connect(int number, const std::string& path, bool buffered) {
  if (ConnectNamedFile(number, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())) != 0)
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

}  // namespace

// Speed of the unit layer on its hot paths: finding and locking a unit for a
// statement, and putting one 30-character record into an unbuffered and a
// buffered file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "runtime/items.h"
#include "runtime/statement.h"
#include "runtime/units.h"

namespace {

// A unit connected to a fresh file in a temporary directory.
struct BenchUnit {
  std::string dir;
  UnitBlock* unit = nullptr;

  BenchUnit(int number, bool buffered) {
    char pattern[] = "/tmp/hysteresis-bench-units-XXXXXX";
    dir = mkdtemp(pattern);
    std::string path = dir + "/out.txt";
    const OpenAttr attrs[] = {
        {kTypeChar, kFormText, kAttrFile, 0, path.data(), static_cast<int32_t>(path.size())},
        {kTypeChar, kFormText, kAttrBuffered, 0, buffered ? "YES" : "NO", buffered ? 3 : 2},
        {kTypeEnd, 0, 0, 0, nullptr, 0},
    };
    ConnectUnit(number, 0, attrs);
    AcquireUnit(number, &unit);
  }
  ~BenchUnit() {
    ReleaseUnit(unit);
    CloseAllUnits();
    std::filesystem::remove_all(dir);
  }
};

void PutRecords(benchmark::State& state, bool buffered) {
  BenchUnit b(3, buffered);
  static const char kRecord[] = "  0.0000000E+00   90.00000    ";
  for (auto _ : state) {
    UnitBlock* u = b.unit;
    char* at = u->pending_end ? u->pending_end : u->buffer;
    std::memcpy(at, kRecord, 30);
    benchmark::DoNotOptimize(PutRecord(u, at, 30));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 32);
}

void BM_PutRecordUnbuffered(benchmark::State& state) { PutRecords(state, false); }
void BM_PutRecordBuffered(benchmark::State& state) { PutRecords(state, true); }

void BM_AcquireRelease(benchmark::State& state) {
  const int number = static_cast<int>(state.range(0));
  for (auto _ : state) {
    UnitBlock* u = nullptr;
    benchmark::DoNotOptimize(AcquireUnit(number, &u));
    ReleaseUnit(u);
  }
}

BENCHMARK(BM_PutRecordUnbuffered);
BENCHMARK(BM_PutRecordBuffered);
BENCHMARK(BM_AcquireRelease)->Arg(3)->Arg(1000);

}  // namespace

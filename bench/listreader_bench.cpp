// Speed of the driver's counting loop and whole-array read of a 1,000,000-record
// history, against one plain pass that parses every value with std::from_chars.
#include <benchmark/benchmark.h>

#include <fcntl.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "runtime/items.h"
#include "runtime/platform/file.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/listreader.h"

namespace {

constexpr int kRecords = 1000000;
constexpr unsigned kBoth = kErrStatusWanted | kEndStatusWanted;

// The history file, written once per process and removed at exit.
struct HistoryFile {
  std::string dir;
  std::string path;
  int unit = 0;

  // Values as "-0.012345" (fixed) or "-1.234568E-02" (exponent), on unit
  // `unit_number`.
  explicit HistoryFile(bool exponent = false, int unit_number = 2) {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/hys-bench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    dir = pattern;
    path = dir + "/deformacia.txt";
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> strain(-0.02f, 0.02f);
    std::string text;
    char buf[32];
    for (int i = 0; i < kRecords; ++i) {
      const float value = strain(rng);
      if (exponent) {
        text.append(buf, static_cast<size_t>(std::snprintf(buf, sizeof buf, "%.6E", value)));
      } else {
        text.append(buf,
                    std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 6).ptr);
      }
      text += '\n';
    }
    int fd = -1;
    size_t written = 0;
    if (Sys::Open(path.c_str(), Sys::kOpenWrite | Sys::kOpenCreate | Sys::kOpenTruncate, &fd) ||
        Sys::WriteAll(fd, text.data(), text.size(), 0, &written) || Sys::Close(fd))
      std::abort();
    unit = unit_number;
    if (ConnectNamedFile(unit, kErrStatusWanted, path.c_str(), static_cast<int32_t>(path.size())) !=
        0)
      std::abort();
  }
  ~HistoryFile() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

HistoryFile& History() {
  static HistoryFile file;
  return file;
}

// The same history written with exponents, as the workload generator writes it.
HistoryFile& ExponentHistory() {
  static HistoryFile file(true, 3);
  return file;
}

// The driver's count: scalar reads with both status options until -1, the
// value taken without storage (scanned, not converted), in one call.
int CountRecords(int unit) {
  InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  return static_cast<int>(ListReader::count_reads(unit, kBoth, items)) - 1;
}

// The same count as one statement per record.
int CountRecordsOneByOne(int unit) {
  InItem items[] = {{kTypeReal4, 0, nullptr, nullptr}, {kTypeEnd, 0, nullptr, nullptr}};
  int m = -1;
  while (ListReader::read(unit, kBoth, items) != kStatusEndOfFile) ++m;
  return m;
}

// The driver's whole-array read of m + 1 values.
void ReadAll(int unit, std::vector<float>* def) {
  ArrayDim dim{1, static_cast<int64_t>(def->size()), 4};
  InItem items[] = {{kTypeReal4, 1, def->data(), &dim}, {kTypeEnd, 0, nullptr, nullptr}};
  if (ListReader::read(unit, 0, items) != 0) std::abort();
}

void BM_CountLoopAndArrayRead(benchmark::State& state) {
  HistoryFile& file = History();
  std::vector<float> def;
  for (auto _ : state) {
    RewindUnit(file.unit, 0);
    int m = CountRecords(file.unit);
    def.resize(static_cast<size_t>(m + 1));
    RewindUnit(file.unit, 0);
    ReadAll(file.unit, &def);
    benchmark::DoNotOptimize(def.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_CountLoopAndArrayRead)->Unit(benchmark::kMillisecond);

void BM_CountLoop(benchmark::State& state) {
  HistoryFile& file = History();
  for (auto _ : state) {
    RewindUnit(file.unit, 0);
    benchmark::DoNotOptimize(CountRecords(file.unit));
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_CountLoop)->Unit(benchmark::kMillisecond);

void BM_CountStatements(benchmark::State& state) {
  HistoryFile& file = History();
  for (auto _ : state) {
    RewindUnit(file.unit, 0);
    benchmark::DoNotOptimize(CountRecordsOneByOne(file.unit));
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_CountStatements)->Unit(benchmark::kMillisecond);

// The whole-array read of `file`, as the driver reads the history.
void RunArrayRead(benchmark::State& state, HistoryFile& file) {
  std::vector<float> def(kRecords);
  for (auto _ : state) {
    RewindUnit(file.unit, 0);
    ReadAll(file.unit, &def);
    benchmark::DoNotOptimize(def.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}

void BM_ArrayRead(benchmark::State& state) { RunArrayRead(state, History()); }
BENCHMARK(BM_ArrayRead)->Unit(benchmark::kMillisecond);

void BM_ArrayReadExponent(benchmark::State& state) { RunArrayRead(state, ExponentHistory()); }
BENCHMARK(BM_ArrayReadExponent)->Unit(benchmark::kMillisecond);

// The reference: read the file in 8 KiB blocks and parse every value with
// std::from_chars, keeping the values.
void BM_PlainFromCharsPass(benchmark::State& state) {
  HistoryFile& file = History();
  std::vector<float> values;
  values.reserve(kRecords);
  std::vector<char> block(8192 + 64);
  for (auto _ : state) {
    values.clear();
    int fd = -1;
    if (Sys::Open(file.path.c_str(), Sys::kOpenRead, &fd)) std::abort();
    size_t kept = 0;
    for (;;) {
      size_t got = 0;
      if (Sys::Read(fd, block.data() + kept, 8192, &got)) std::abort();
      size_t have = kept + got;
      const char* p = block.data();
      const char* end = p + have;
      // Parse the complete lines; the partial last one moves to the front.
      const char* last_nl = end;
      while (last_nl > p && last_nl[-1] != '\n') --last_nl;
      if (got == 0) last_nl = end;
      while (p < last_nl) {
        while (p < last_nl && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
        if (p == last_nl) break;
        float v;
        auto r = std::from_chars(p, last_nl, v);
        if (r.ec != std::errc()) std::abort();
        values.push_back(v);
        p = r.ptr;
      }
      kept = static_cast<size_t>(end - last_nl);
      std::copy(last_nl, end, block.data());
      if (got == 0) break;
    }
    Sys::Close(fd);
    benchmark::DoNotOptimize(values.data());
  }
  state.SetItemsProcessed(state.iterations() * kRecords);
}
BENCHMARK(BM_PlainFromCharsPass)->Unit(benchmark::kMillisecond);

}  // namespace

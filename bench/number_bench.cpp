// Speed of the number conversions on short value tokens, as the list reader
// hands them over (start and length inside a record).
#include "textin/decimal.h"
#include "textin/number.h"

#include <benchmark/benchmark.h>

#include <charconv>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Typical strain and stress values, 8 to 12 characters.
constexpr std::string_view kRealTokens[] = {
    "0.00123456", "-1.2345E-03", "123.456789", "2.5000E+02", "-0.0045678", "1.23456E-4",
    "350.12345",  "-275.5001",   "0.1000000",  "6.02214D23", "-1.5E-3",    "0.98765432",
    "200000.00",  "7.123E+01",   "-3.3333333", "4.5678e-02",
};
constexpr std::string_view kIntTokens[] = {"12", "1000", "-45", "2147483647", "7", "65536"};

void BM_TextToSingle(benchmark::State& state) {
  size_t i = 0;
  float value;
  for (auto _ : state) {
    std::string_view t = kRealTokens[i++ % std::size(kRealTokens)];
    benchmark::DoNotOptimize(
        TextToSingle(t.data(), static_cast<int64_t>(t.size()), 0, 0, kListRealOptions, &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextToSingle);

void BM_TextToDouble(benchmark::State& state) {
  size_t i = 0;
  double value;
  for (auto _ : state) {
    std::string_view t = kRealTokens[i++ % std::size(kRealTokens)];
    benchmark::DoNotOptimize(
        TextToDouble(t.data(), static_cast<int64_t>(t.size()), 0, 0, kListRealOptions, &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextToDouble);

// The library conversion alone over a set of tokens, for comparison.
template <size_t n>
void BM_LibraryFromChars(benchmark::State& state, const std::string_view (&tokens)[n]) {
  size_t i = 0;
  float value;
  for (auto _ : state) {
    std::string_view t = tokens[i++ % n];
    benchmark::DoNotOptimize(std::from_chars(t.data(), t.data() + t.size(), value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
// On the tokens of BM_TextToDouble (it stops early on the D exponent of one).
BENCHMARK_CAPTURE(BM_LibraryFromChars, Float, kRealTokens);

// Plain decimals as the history file holds them: the list reader's short cut
// against the library conversion it stands in for.
constexpr std::string_view kPlainTokens[] = {
    "-1.222025E-03", "0.00123456", "123.456789", "2.5000E+02",    "-0.0045678", "1.23456E-4",
    "350.12345",     "-275.5001",  "0.1000000",  "7.123E+01",     "-3.3333333", "4.5678e-02",
    "-1.5E-3",       "0.98765432", "200000.00",  "-1.636973E-03",
};

void BM_DecimalToSingle(benchmark::State& state) {
  size_t i = 0;
  float value;
  for (auto _ : state) {
    std::string_view t = kPlainTokens[i++ % std::size(kPlainTokens)];
    benchmark::DoNotOptimize(DecimalToSingle(t.data(), t.data() + t.size(), &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecimalToSingle);

BENCHMARK_CAPTURE(BM_LibraryFromChars, Plain, kPlainTokens);

// The same tokens as records of a read buffer (a line feed after each, and
// room to read 16 bytes at every token): the scanner's verdict, then the
// conversion from it, the significand read as one word where it fits.
void BM_ScanAndPlainTokenToSingle(benchmark::State& state) {
  std::string records;
  std::vector<size_t> starts;
  for (std::string_view t : kPlainTokens) {
    starts.push_back(records.size());
    records.append(t);
    records += '\n';
  }
  records.append(32, ' ');
  const char* const limit = records.data() + records.size();
  size_t i = 0;
  float value;
  for (auto _ : state) {
    const size_t k = i++ % std::size(kPlainTokens);
    const char* start = records.data() + starts[k];
    const char* end = start + kPlainTokens[k].size();
    const NumberToken token = ScanNumberToken(start, end, limit);
    benchmark::DoNotOptimize(PlainTokenToSingle(start, token, limit, &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ScanAndPlainTokenToSingle);

void BM_TextToInteger(benchmark::State& state) {
  size_t i = 0;
  int32_t value;
  for (auto _ : state) {
    std::string_view t = kIntTokens[i++ % std::size(kIntTokens)];
    benchmark::DoNotOptimize(
        TextToInteger(t.data(), static_cast<int64_t>(t.size()), kListIntOptions, &value));
    benchmark::DoNotOptimize(value);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TextToInteger);

}  // namespace

// The rows of "loops.csv" (the shortest text of each number), its safe write
// through the platform layer, and the summary of the count.
#include "life/report.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "runtime/platform/file.h"
#include "textout/shortest.h"

namespace Life {

const char kCsvHeader[] =
    "closing,b,c,count,strain_min,strain_max,stress_min,stress_max,strain_amplitude,"
    "stress_amplitude,mean_stress,parameter,cycles,damage\n";

namespace {

constexpr size_t kCsvBuffer = 1 << 20;
// Text from this long on is written from where it lies, not copied first.
constexpr size_t kCsvDirect = 1 << 16;

char* Put(char* p, double v) {
  p = Shortest::Write(p, v);
  *p = ',';
  return p + 1;
}

// A strain or stress of the path: a single-precision value gets the shortest
// text that reads back to it in single precision ("0.001", not the 17 digits
// of its double); any other value, that of its double.
char* PutPathValue(char* p, double v) {
  const float f = static_cast<float>(v);
  if (!std::isfinite(v) || static_cast<double>(f) != v) return Put(p, v);
  p = Shortest::Write(p, f);
  *p = ',';
  return p + 1;
}

char* Put(char* p, int64_t v) {
  p = Shortest::WriteInteger(p, v);
  *p = ',';
  return p + 1;
}

// A cycle that does no damage with a parameter of +0 (a loop in
// compression under SWT, the most common row): its last three columns
// "0,inf,0" are copied whole.
bool WithoutDamage(const LoopDamage& d) {
  return std::bit_cast<uint64_t>(d.parameter) == 0 && std::bit_cast<uint64_t>(d.damage) == 0 &&
         d.cycles == std::numeric_limits<double>::infinity();
}

std::string SystemText(int error) {
  char text[256];
  Sys::ErrorText(error, text, sizeof text);
  return text;
}

void Flush(CsvFile& f) {
  if (f.error == 0 && f.used > 0) {
    size_t written = 0;
    f.error = Sys::WriteAll(f.fd, f.buffer.data(), f.used, 0, &written);
  }
  f.used = 0;
}

// Text of a number for people: 6 significant digits.
std::string Short(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6g", v);
  return text;
}

}  // namespace

size_t FormatCsvRow(const Loop& loop, const LoopDamage& d, char* out) {
  char* p = out;
  if (loop.closing_entry > 0) {
    p = Put(p, loop.closing_entry);
  } else {
    *p++ = ',';
  }
  p = Put(p, loop.b.entry);
  p = Put(p, loop.c.entry);
  if (loop.count == 1.0) {
    std::memcpy(p, "1,", 2);
    p += 2;
  } else {
    p = Put(p, loop.count);
  }
  p = PutPathValue(p, std::min(loop.b.strain, loop.c.strain));
  p = PutPathValue(p, std::max(loop.b.strain, loop.c.strain));
  p = PutPathValue(p, std::min(loop.b.stress, loop.c.stress));
  p = PutPathValue(p, std::max(loop.b.stress, loop.c.stress));
  p = Put(p, d.strain_amplitude);
  p = Put(p, d.stress_amplitude);
  p = Put(p, d.mean_stress);
  if (WithoutDamage(d)) {
    std::memcpy(p, "0,inf,0\n", 8);
    return static_cast<size_t>(p + 8 - out);
  }
  p = Put(p, d.parameter);
  p = Put(p, d.cycles);
  p = Put(p, d.damage);
  p[-1] = '\n';
  return static_cast<size_t>(p - out);
}

std::string OpenCsv(CsvFile& f, const std::string& path) {
  f.path = path;
  f.temp = path + ".tmp";
  const unsigned mode = Sys::kOpenWrite | Sys::kOpenCreate | Sys::kOpenTruncate;
  if (const int e = Sys::Open(f.temp.c_str(), mode, &f.fd)) {
    f.fd = -1;
    return f.temp + ": cannot be created (" + SystemText(e) + ")";
  }
  f.buffer.resize(kCsvBuffer);
  std::memcpy(f.buffer.data(), kCsvHeader, sizeof kCsvHeader - 1);
  f.used = sizeof kCsvHeader - 1;
  return "";
}

void WriteCsvRow(CsvFile& f, const Loop& loop, const LoopDamage& d) {
  if (f.used + kCsvRowMax > f.buffer.size()) Flush(f);
  f.used += FormatCsvRow(loop, d, f.buffer.data() + f.used);
}

void WriteCsvText(CsvFile& f, const char* text, size_t length) {
  if (f.used + length > f.buffer.size() || length >= kCsvDirect) Flush(f);
  if (length >= kCsvDirect) {
    size_t written = 0;
    if (f.error == 0) f.error = Sys::WriteAll(f.fd, text, length, 0, &written);
    return;
  }
  std::memcpy(f.buffer.data() + f.used, text, length);
  f.used += length;
}

std::string CommitCsv(CsvFile& f) {
  Flush(f);
  const int closed = Sys::Close(f.fd);
  f.fd = -1;
  int e = f.error != 0 ? f.error : closed;
  if (e == 0) e = Sys::Rename(f.temp.c_str(), f.path.c_str());
  if (e == 0) return "";
  Sys::Remove(f.temp.c_str());
  return f.path + ": cannot be written (" + SystemText(e) + ")";
}

void AbandonCsv(CsvFile& f) {
  if (f.fd >= 0) Sys::Close(f.fd);
  f.fd = -1;
  Sys::Remove(f.temp.c_str());
}

void CountCycle(Tally& t, const Loop& loop, const LoopDamage& d) {
  if (loop.closing_entry > 0) {
    ++t.closed;
  } else {
    ++t.half;
  }
  // Neumaier's compensated sum: millions of tiny terms lose nothing.
  const double next = t.sum + d.damage;
  t.carry += std::fabs(t.sum) >= std::fabs(d.damage) ? (t.sum - next) + d.damage
                                                     : (d.damage - next) + t.sum;
  t.sum = next;
  if (!(d.damage > 0) || t.top_max == 0) return;
  if (t.top.size() == t.top_max && !(d.damage > t.top.back().damage.damage)) return;
  auto at = std::upper_bound(t.top.begin(), t.top.end(), d.damage,
                             [](double v, const RankedCycle& r) { return v > r.damage.damage; });
  t.top.insert(at, RankedCycle{loop, d});
  if (t.top.size() > t.top_max) t.top.pop_back();
}

double DamageSum(const Tally& t) { return t.sum + t.carry; }

std::string SummaryText(const Tally& t, int64_t entries, const std::string& setting) {
  const double d = DamageSum(t);
  std::string s = "path: " + std::to_string(entries) + " entries; " + setting + "\n";
  s += "closed loops: " + std::to_string(t.closed) + "\n";
  s += "half cycles: " + std::to_string(t.half) + "\n";
  s += "damage sum D: " + Short(d) + "\n";
  s += "life 1/D: " + (d > 0 ? Short(1 / d) : std::string("inf")) + " repetitions of the history\n";
  if (t.top.empty()) return s;
  char line[256];
  const char* const row = "%10s %10s %10s %5s %12s %12s %12s %12s\n";
  s += std::to_string(t.top.size()) + " most damaging cycles:\n";
  std::snprintf(line, sizeof line, row, "closing", "b", "c", "count", "strain_ampl", "parameter",
                "cycles", "damage");
  s += line;
  for (const RankedCycle& r : t.top) {
    const Loop& l = r.loop;
    const std::string closing = l.closing_entry > 0 ? std::to_string(l.closing_entry) : "";
    std::snprintf(line, sizeof line, row, closing.c_str(), std::to_string(l.b.entry).c_str(),
                  std::to_string(l.c.entry).c_str(), l.count == 1.0 ? "1" : "0.5",
                  Short(r.damage.strain_amplitude).c_str(), Short(r.damage.parameter).c_str(),
                  Short(r.damage.cycles).c_str(), Short(r.damage.damage).c_str());
    s += line;
  }
  return s;
}

}  // namespace Life

// Environment variables of the units: the size variables read once per
// process, the terminator rule read at the first formatted connection, and
// the file-name variables.
#include "runtime/unitenv.h"

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>

#include "runtime/msg.h"
#include "runtime/platform/env.h"
#include "runtime/recordtype.h"

namespace UnitEnv {
namespace {

constexpr int64_t kMaxBlockSize = 2147467264;
constexpr int64_t kMaxBufferCount = 127;

// What was read, guarded by g_lock; the flags say whether it has been read.
std::mutex g_lock;
std::atomic<bool> g_sizes_read{false};
Sizes g_sizes;
std::atomic<bool> g_terminator_read{false};
TerminatorRule g_terminator;
void (*g_warning)(const char* variable) = nullptr;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Matches "CR", "LF" or "CRLF" followed by `end` at *p; advances past `end`
// and returns the record type, or 0 when there is no match.
uint8_t MatchKind(const char** p, char end) {
  static const struct {
    const char* word;
    uint8_t kind;
  } kKinds[] = {{"CRLF", kRecStreamCRLF}, {"CR", kRecStreamCR}, {"LF", kRecStreamLF}};
  for (const auto& k : kKinds) {
    size_t n = std::strlen(k.word);
    if (std::strncmp(*p, k.word, n) == 0 && (*p)[n] == end) {
      *p += n + 1;
      return k.kind;
    }
  }
  return 0;
}

// Reads one decimal number at *p (digits only, at most 32-bit signed range).
bool ReadNumber(const char** p, int64_t* value) {
  if (!IsDigit(**p)) return false;
  int64_t v = 0;
  while (IsDigit(**p)) {
    v = v * 10 + (**p - '0');
    if (v > INT32_MAX) return false;
    ++*p;
  }
  *value = v;
  return true;
}

// Parses the unit list "n", "n-m" entries separated by commas, to the end.
bool ParseUnitList(const char* p, TerminatorRule* rule) {
  for (;;) {
    if (rule->count == kMaxTerminatorEntries) return false;
    int64_t low = 0;
    int64_t high = 0;
    if (!ReadNumber(&p, &low)) return false;
    high = low;
    if (*p == '-') {
      ++p;
      if (!ReadNumber(&p, &high) || high < low) return false;
    }
    rule->low[rule->count] = low;
    rule->high[rule->count] = high;
    ++rule->count;
    if (*p == '\0') return true;
    if (*p != ',') return false;
    ++p;
  }
}

}  // namespace

bool ParseSize(const char* text, int32_t* value) {
  int64_t v = 0;
  bool negative = false;
  bool sign_seen = false;
  bool digit_seen = false;
  for (const char* p = text; *p; ++p) {
    char c = *p;
    if (c == ' ') continue;
    if (c == '+' || c == '-') {
      if (sign_seen || digit_seen) return false;
      sign_seen = true;
      negative = c == '-';
      continue;
    }
    if (!IsDigit(c)) return false;
    digit_seen = true;
    v = v * 10 + (c - '0');
    if (v > static_cast<int64_t>(INT32_MAX) + 1) return false;
  }
  if (sign_seen && !digit_seen) return false;
  if (negative) v = -v;
  if (v > INT32_MAX || v < INT32_MIN) return false;
  *value = static_cast<int32_t>(v);
  return true;
}

Sizes DecodeSizes(const char* fmt_recl, const char* block_size, const char* buffer_count) {
  Sizes s;
  int32_t v = 0;
  if (fmt_recl) {
    if (!ParseSize(fmt_recl, &v) || v < 0) s.fmt_recl_error = Code(Msg::kBadFmtRecl);
    else s.fmt_recl = v;
  }
  if (block_size) {
    if (!ParseSize(block_size, &v) || v < 0 || v > kMaxBlockSize)
      s.block_size_error = Code(Msg::kBadBlockSize);
    else s.block_size = static_cast<int32_t>((static_cast<int64_t>(v) + 511) / 512 * 512);
  }
  if (buffer_count) {
    if (!ParseSize(buffer_count, &v) || v < 0 || v > kMaxBufferCount)
      s.buffer_count_error = Code(Msg::kBadBufferCount);
    else s.buffer_count = v;
  }
  return s;
}

void ReadSizes() {
  if (g_sizes_read.load(std::memory_order_acquire)) return;
  std::lock_guard<std::mutex> guard(g_lock);
  if (g_sizes_read.load(std::memory_order_relaxed)) return;
  g_sizes = DecodeSizes(Sys::GetEnv("VELD_FMT_RECL"), Sys::GetEnv("VELD_BLOCKSIZE"),
                        Sys::GetEnv("VELD_BUFFERCOUNT"));
  g_sizes_read.store(true, std::memory_order_release);
}

void Forget() {
  std::lock_guard<std::mutex> guard(g_lock);
  g_sizes_read.store(false);
  g_terminator_read.store(false);
  g_sizes = Sizes{};
  g_terminator = TerminatorRule{};
}

const Sizes& GetSizes() {
  ReadSizes();
  return g_sizes;
}

bool ParseTerminator(const char* text, TerminatorRule* rule) {
  *rule = TerminatorRule{};
  const char* p = text;
  if (uint8_t kind = MatchKind(&p, '\0')) {
    rule->all = kind;
    return true;
  }
  TerminatorRule r;
  if (std::strchr(p, ';')) {
    r.default_kind = MatchKind(&p, ';');
    if (!r.default_kind) return false;
  }
  r.list_kind = kRecStreamCR;
  if (std::strchr(p, ':')) {
    r.list_kind = MatchKind(&p, ':');
    if (!r.list_kind) return false;
  }
  if (!ParseUnitList(p, &r)) return false;
  *rule = r;
  return true;
}

uint8_t TerminatorKind(const TerminatorRule& rule, int unit) {
  if (rule.all) return rule.all;
  for (int i = 0; i < rule.count; ++i)
    if (unit >= rule.low[i] && unit <= rule.high[i]) return rule.list_kind;
  return rule.default_kind;
}

void SetWarningHook(void (*warn)(const char* variable)) { g_warning = warn; }

uint8_t TerminatorForUnit(int unit) {
  if (!g_terminator_read.load(std::memory_order_acquire)) {
    bool malformed = false;
    {
      std::lock_guard<std::mutex> guard(g_lock);
      if (!g_terminator_read.load(std::memory_order_relaxed)) {
        const char* text = Sys::GetEnv("VELD_FMT_TERMINATOR");
        malformed = text && !ParseTerminator(text, &g_terminator);
        g_terminator_read.store(true, std::memory_order_release);
      }
    }
    // Warned outside the lock: the report may look at units.
    if (malformed && g_warning) g_warning("VELD_FMT_TERMINATOR");
  }
  return TerminatorKind(g_terminator, unit);
}

bool BufferedByDefault() { return Sys::EnvSwitch("VELD_BUFFERED"); }

const char* PrintFileName() { return Sys::GetEnv("VELD_PRINT"); }

const char* UnitFileName(int unit) {
  char name[24];
  std::snprintf(name, sizeof name, "VELD%d", unit);
  return Sys::GetEnv(name);
}

}  // namespace UnitEnv

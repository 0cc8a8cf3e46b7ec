// Fuzz target: the number conversions on arbitrary text, cross-checked with
// std::from_chars where both accept a plain decimal number, the list
// reader's plain decimal short cut against std::from_chars on any text, and
// the number token scanner's two routes against each other.
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "textin/decimal.h"
#include "textin/number.h"
#include "textin/numbertoken.h"

namespace {

// True when the text is a plain decimal that std::from_chars reads whole:
// digits, at most one point, an optional e/E exponent with optional sign.
bool PlainDecimal(const char* p, size_t n) {
  size_t i = 0;
  if (i < n && p[i] == '-') ++i;
  bool digits = false, point = false;
  for (; i < n && (std::isdigit(static_cast<unsigned char>(p[i])) || p[i] == '.'); ++i) {
    if (p[i] == '.') {
      if (point) return false;
      point = true;
    } else {
      digits = true;
    }
  }
  if (!digits) return false;
  if (i < n && (p[i] == 'e' || p[i] == 'E')) {
    ++i;
    if (i < n && (p[i] == '+' || p[i] == '-')) ++i;
    size_t start = i;
    for (; i < n && std::isdigit(static_cast<unsigned char>(p[i])); ++i) {}
    if (i == start || i - start > 6) return false;
  }
  return i == n;
}

// Where `at` stands from `base`; -1 for none.
ptrdiff_t Offset(const char* at, const char* base) { return at == nullptr ? -1 : at - base; }

// The scanner decides a token alike byte by byte (nothing readable past the
// text) and in blocks (readable bytes after it), and a token it calls plain
// gets from the plain-decimal conversion the full conversion's value.
void CheckTokenScanner(const char* p, size_t n) {
  if (n == 0) return;
  const NumberToken exact = ScanNumberToken(p, p + n, p + n);
  std::vector<char> padded(p, p + n);
  padded.resize(n + 32, '7');
  const NumberToken block =
      ScanNumberToken(padded.data(), padded.data() + n, padded.data() + n + 32);
  if (exact.kind != block.kind) std::abort();
  if (exact.kind == TokenKind::kBad) return;
  if (Offset(exact.end, p) != Offset(block.end, padded.data()) ||
      Offset(exact.point, p) != Offset(block.point, padded.data()) ||
      Offset(exact.exponent, p) != Offset(block.exponent, padded.data()))
    std::abort();
  if (exact.kind != TokenKind::kPlain) return;
  // Converted with nothing readable past the text and with the padding
  // readable (the significand then read as one word): the same verdict.
  float fast = 0, word = 0, full = 0;
  const bool taken = PlainTokenToSingle(p, exact, p + n, &fast);
  if (PlainTokenToSingle(padded.data(), block, padded.data() + n + 32, &word) != taken)
    std::abort();
  if (!taken) return;
  if (std::memcmp(&fast, &word, 4) != 0) std::abort();
  if (TextToSingle(p, exact.end - p, 0, 0, kListRealOptions, &full) != kRealOk ||
      std::memcmp(&fast, &full, 4) != 0)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A copy of exactly `size` bytes: a read past the end is caught by the
  // address sanitizer.
  std::vector<char> text(data, data + size);
  const char* p = text.data();
  const int64_t n = static_cast<int64_t>(size);

  int32_t i32 = 0;
  TextToInteger(p, n, kListIntOptions, &i32);
  uint64_t u64 = 0;
  DigitsToUnsigned64(p, n, 16, 0, &u64);

  float f = 0;
  const int fs = TextToSingle(p, n, 0, 0, kListRealOptions, &f);
  double d = 0;
  const int ds = TextToDouble(p, n, 0, 0, kListRealOptions, &d);

  // The short cut must give what std::from_chars gives: end, error, bits.
  float mine = 7.0f, lib = 7.0f;
  const std::from_chars_result rm = DecimalToSingle(p, p + size, &mine);
  const std::from_chars_result rl = std::from_chars(p, p + size, lib);
  if (rm.ptr != rl.ptr || rm.ec != rl.ec || std::memcmp(&mine, &lib, 4) != 0) std::abort();

  CheckTokenScanner(p, size);

  if (PlainDecimal(p, size)) {
    float ref = 0;
    auto r = std::from_chars(p, p + size, ref);
    if (r.ec == std::errc() && r.ptr == p + size) {
      if (fs != 0 || std::memcmp(&f, &ref, 4) != 0) std::abort();
    }
    double dref = 0;
    auto rd = std::from_chars(p, p + size, dref);
    if (rd.ec == std::errc() && rd.ptr == p + size) {
      if (ds != 0 || std::memcmp(&d, &dref, 8) != 0) std::abort();
    }
  }
  return 0;
}

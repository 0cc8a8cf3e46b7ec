// The list-directed field of a single-precision value: classified from its bits,
// then fixed or exponent form with correctly rounded digits from std::to_chars.
#include "textout/realtext.h"

#include <bit>
#include <charconv>
#include <cstring>

namespace RealText {
namespace {

constexpr uint32_t kSignBit = 0x80000000u;
constexpr uint32_t kExponentAll = 0x7F800000u;  // exponent field 255
constexpr int kFixedTextWidth = 11;             // the fixed text, right-justified
constexpr int kMaxDigits = 9;

// The exact value of a finite nonzero binary32 magnitude as a double. Every
// binary32 value is a normal double, and the double is built from the bits
// with integer operations only, so neither flush-to-zero nor
// denormals-are-zero can touch a subnormal input on its way in.
double ExactDouble(uint32_t magnitude) {
  const uint32_t exponent = magnitude >> 23;
  const uint32_t fraction = magnitude & 0x7FFFFFu;
  if (exponent != 0) {
    const uint64_t e = exponent - 127 + 1023;
    return std::bit_cast<double>(e << 52 | uint64_t{fraction} << 29);
  }
  // Subnormal: fraction x 2^-149 with the leading one at bit `lead`.
  const int lead = std::bit_width(fraction) - 1;
  const uint64_t e = static_cast<uint64_t>(lead - 149 + 1023);
  const uint64_t mantissa = (uint64_t{fraction} << (52 - lead)) & ((uint64_t{1} << 52) - 1);
  return std::bit_cast<double>(e << 52 | mantissa);
}

// The magnitude in scientific notation with n significant digits (1..9),
// correctly rounded, ties to even, as "d.ddd...e+XX" (no point for n = 1).
// Returns the decimal exponent: the value is d.ddd... x 10^exponent.
int ScientificText(uint32_t magnitude, int n, char (&text)[32]) {
  const double value = ExactDouble(magnitude);
  const auto res = std::to_chars(text, text + sizeof text, value,
                                 std::chars_format::scientific, n - 1);
  // p is at 'e', then the sign and two or three exponent digits.
  const char* p = text + (n > 1 ? n + 1 : 1);
  int x = 0;
  for (const char* q = p + 2; q < res.ptr; ++q) x = x * 10 + (*q - '0');
  return p[1] == '-' ? -x : x;
}

// Fixed form: the 7 digits with the point after k of them (0.ddddddd for
// k = 0), right-justified in 11 positions; the 4 blanks behind stay.
void WriteFixed(uint32_t magnitude, bool negative, char* out) {
  char text[32];
  const int k = ScientificText(magnitude, 7, text) + 1;
  // The digits are text[0] and text[2..7).
  char* const end = out + kFixedTextWidth;
  if (k <= 0) {
    std::memcpy(end - 6, text + 2, 6);
    end[-7] = text[0];
    end[-8] = '.';
    end[-9] = '0';
    if (negative) end[-10] = '-';
    return;
  }
  // k is 1..7 here: digits before the point, the point, the rest.
  const int after = 7 - k;
  std::memcpy(end - after, text + 1 + k, static_cast<size_t>(after));
  end[-after - 1] = '.';
  char* lead = end - after - 1 - k;
  lead[0] = text[0];
  std::memcpy(lead + 1, text + 2, static_cast<size_t>(k - 1));
  if (negative) lead[-1] = '-';
}

// Exponent form: d.dddddddE+XX with 8 significant digits, right-justified in
// the whole field.
void WriteExponent(uint32_t magnitude, bool negative, char* out) {
  char text[32];
  const int e = ScientificText(magnitude, 8, text);
  const int abs_e = e < 0 ? -e : e;
  char* p = out + 2;
  if (negative) p[-1] = '-';
  std::memcpy(p, text, 9);  // d.ddddddd
  p[9] = 'E';
  p[10] = e < 0 ? '-' : '+';
  p[11] = static_cast<char>('0' + abs_e / 10);
  p[12] = static_cast<char>('0' + abs_e % 10);
}

}  // namespace

RoundedDigits round_digits(uint32_t magnitude_bits, int n) {
  if (n < 1) n = 1;
  if (n > kMaxDigits) n = kMaxDigits;
  char text[32];
  const int x = ScientificText(magnitude_bits & ~kSignBit, n, text);
  RoundedDigits out{};
  out.digits[0] = text[0];
  if (n > 1) std::memcpy(out.digits + 1, text + 2, static_cast<size_t>(n - 1));
  out.k = x + 1;
  return out;
}

void to_list_field(uint32_t bits, char* out) {
  std::memset(out, ' ', kFieldWidth);
  const bool negative = (bits & kSignBit) != 0;
  const uint32_t magnitude = bits & ~kSignBit;
  if (magnitude > kExponentAll) {
    std::memcpy(out + 1, "NaN", 3);
  } else if (magnitude == kExponentAll) {
    if (negative)
      std::memcpy(out + 1, "-Infinity", 9);
    else
      std::memcpy(out + 1, "Infinity", 8);
  } else if (magnitude == 0) {
    std::memcpy(out + 2, "0.0000000E+00", 13);
  } else if (magnitude >= kFixedLowBits && magnitude <= kFixedHighBits) {
    WriteFixed(magnitude, negative, out);
  } else {
    WriteExponent(magnitude, negative, out);
  }
}

}  // namespace RealText

// The 15-character list-directed field of a single-precision value.
#pragma once
#include <cstdint>

namespace RealText {

constexpr int kFieldWidth = 15;

// Writes the field of the binary32 value `bits` into out[0..14]. No terminator.
void to_list_field(uint32_t bits, char* out);

// Digits of a nonzero finite magnitude rounded to n significant digits
// (nearest, ties to even): the value is 0.d1...dn x 10^k.
struct RoundedDigits {
  char digits[9];
  int32_t k;
};
RoundedDigits round_digits(uint32_t magnitude_bits, int n);

}  // namespace RealText

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

// Magnitude bit patterns whose field takes the fixed form: the binary32
// value nearest 0.1 up to 9999999.0. Every value in between rounds to 7
// digits inside [0.1, 10^7), every value outside does not.
constexpr uint32_t kFixedLowBits = 0x3DCCCCCDu;
constexpr uint32_t kFixedHighBits = 0x4B18967Fu;

}  // namespace RealText

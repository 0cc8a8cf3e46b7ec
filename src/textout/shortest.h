// The shortest decimal text of a double or a float: the fewest significant
// digits that read back to the same value, laid out as std::to_chars does;
// and the digits of an integer.
#pragma once
#include <cstdint>

namespace Shortest {

// Longest text Write produces: "-2.2250738585072014e-308" and "-1.17549435e-38".
constexpr int kDoubleMax = 24;
constexpr int kFloatMax = 15;
// Bytes at `out` that Write may store to, beyond the text it returns: it
// copies its digits in pieces of a fixed size.
constexpr int kRoom = 48;

// Writes the text of `v` at `out` (no terminator; `out` has kRoom bytes of
// space) and returns its end: the
// digits closest to `v` among the shortest that read back to it (ties to an
// even last digit), in fixed form ("0.001", "1500") or scientific form
// ("1.5e-07"), whichever is shorter, fixed when both are as long; "inf",
// "-inf", "nan" and "-nan" for the values that have no digits. The same
// characters as std::to_chars(out, end, v), in a fraction of its time.
char* Write(char* out, double v);
char* Write(char* out, float v);

// Writes the decimal digits of `v` (a '-' first when negative) at `out`,
// which has kRoom bytes of space, and returns their end: the characters of
// std::to_chars, entry numbers below 10^8 from one word of digits.
char* WriteInteger(char* out, int64_t v);

}  // namespace Shortest

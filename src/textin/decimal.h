// Plain decimal text to single precision: std::from_chars with a short cut for
// the common short token, taken only where one exact operation decides it.
#pragma once
#include <charconv>

#include "textin/numbertoken.h"

// The same result as std::from_chars(first, last, *value) in the general
// format (pointer, error code and value, bit for bit). A plain decimal of at
// most 19 digits whose value needs at most 53 bits times or divided by a
// power of ten up to 10^22 is converted by one correctly rounded float or
// double operation; everything else goes to std::from_chars.
std::from_chars_result DecimalToSingle(const char* first, const char* last, float* value);

// The value of the plain token at `text` ([sign] digits [. digits] [E|e
// [sign] digits], at most kPlainDecimalMax bytes) whose decimal point,
// exponent letter (either may be null) and end the scanner found, bit for
// bit as DecimalToSingle gives it; the digits are read between those
// positions, not looked for. Returns false when the conversion does not take
// the whole token (a value beyond the range of single precision).
bool PlainDigitsToSingle(const char* text, const char* point, const char* exponent, const char* end,
                         float* value);

// The value of the token at `text` that ScanNumberToken judged
// TokenKind::kPlain (an optional leading '+' included), by
// PlainDigitsToSingle; false for any other verdict. The verdict's parts go
// on in registers.
inline bool PlainTokenToSingle(const char* text, const NumberToken& token, float* value) {
  return token.kind == TokenKind::kPlain &&
         PlainDigitsToSingle(text, token.point, token.exponent, token.end, value);
}

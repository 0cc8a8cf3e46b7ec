// Conversion of number text (start and length, never a terminated string) to
// 32-bit integers and to single and double precision, correctly rounded.
#pragma once
#include <cstdint>

// Integer options.
enum IntOptions : unsigned {
  kIntTabAsBlank = 1u << 0,
  kIntBlanksIgnored = 1u << 1,
  kIntUnderscoreIgnored = 1u << 2,
  kIntBlankAsZero = 1u << 3,
  kIntReserved = 1u << 4,  // accepted, never set by this program
};
constexpr unsigned kListIntOptions = kIntBlanksIgnored;

// Integer statuses.
enum IntStatus : int {
  kIntOk = 0,
  kIntBadChar = 3,
  kIntBadOptions = 4,
  kIntBadBase = 5,
  kIntBadLength = 6,
  kIntOutOfRange = 8,
};

// Real options.
enum RealOptions : unsigned {
  kRealSkipBlanks = 1u << 0,
  kRealSpecial = 1u << 1,  // "Infinity" and "NaN"
  kRealRejectTrailing = 1u << 2,
  kRealRejectOverflow = 1u << 3,
  kRealRejectUnderflow = 1u << 4,
  kRealFlushSubnormal = 1u << 5,
  kRealRejectEmpty = 1u << 6,
  kRealDecimalComma = 1u << 7,
  kRealOnlyE = 1u << 8,
  kRealNoSignOnlyExponent = 1u << 9,
  kRealHex = 1u << 10,
  kRealRoundingShift = 11,  // 3-bit field; 0 = to nearest, ties to even
};
constexpr unsigned kListRealOptions =
    kRealSkipBlanks | kRealSpecial | kRealRejectTrailing | kRealRejectOverflow;

// Real statuses.
constexpr int kRealOk = 0;
constexpr int kRealFail = 1;

// Converts [text, text + length) to a 32-bit integer. Returns an IntStatus;
// on failure *dest is 0.
int TextToInteger(const char* text, int64_t length, unsigned options, int32_t* dest);

// Accumulates the digits of [text, text + length) in `base` (2..16).
// Returns an IntStatus (8 when the value exceeds 2^64 - 1).
int DigitsToUnsigned64(const char* text, int64_t length, int base, unsigned options,
                       uint64_t* dest);

// Converts [text, text + length) to single precision, nearest, ties to even.
// `implied_digits` d scales a value written without a decimal point by 10^-d;
// `scale` s scales a value written without an exponent by 10^-s; both are 0
// for list input. Returns 0 or 1 (a negative length is 1 with 0.0); *dest is
// always written: the value, a signed infinity on overflow, 0.0 or the
// recognised infinity or NaN when rejected trailing text follows.
// Rounding is always to nearest (the rounding field is not read) and a
// hexadecimal significand is never accepted; this program uses neither.
int TextToSingle(const char* text, int64_t length, int scale, int implied_digits, unsigned options,
                 float* dest);

// The same for double precision.
int TextToDouble(const char* text, int64_t length, int scale, int implied_digits, unsigned options,
                 double* dest);

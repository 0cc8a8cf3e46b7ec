// Types shared by the input and output statements: item type codes, the
// conversion table indexed by type code, statement options and statuses.
#pragma once
#include <cstdint>

// Item type codes. A list of items ends with kTypeEnd.
enum ItemType : uint8_t {
  kTypeEnd = 1,
  kTypeInt32 = 9,
  kTypeReal4 = 26,
  kTypeReal8 = 28,  // double precision: only the group reader takes it
  kTypeChar = 56,
};

enum ConversionKind : uint8_t { kConvNone = 0, kConvInteger, kConvReal, kConvCharacter };

// Field width, digits, exponent digits and conversion kind of one type.
struct ItemConversion {
  int16_t width;
  int16_t digits;
  int16_t exponent_digits;
  ConversionKind kind;
};

// The row for a type code; a code without a row gives {0, 0, 0, kConvNone}.
const ItemConversion& ItemConversionCode(int type);

// Options a statement carries: which failures it takes as a status value.
enum StatementFlags : unsigned {
  kErrStatusWanted = 1u << 0,  // errors are returned as their number
  kEndStatusWanted = 1u << 1,  // end of file is returned as -1
  kEorStatusWanted = 1u << 2,  // end of record is returned as -2
};

// Statement statuses besides 0 (success) and positive message numbers.
constexpr int kStatusEndOfFile = -1;
constexpr int kStatusEndOfRecord = -2;

// One dimension of an array item: bounds and the byte distance between
// consecutive elements.
struct ArrayDim {
  int64_t lower;
  int64_t upper;
  int64_t stride;
};

// One item of an input list. rank 0: `base` is the element. rank 1..7: `base`
// is the element with every index at its lower bound, `dims` the dimensions
// (first dimension varies fastest).
struct InItem {
  uint8_t type;
  uint8_t rank;
  void* base;
  const ArrayDim* dims;
};

// One item of an output list. REAL(4): `value` points at 4 bytes. CHARACTER:
// `value` points at `length` bytes.
struct OutItem {
  uint8_t type;
  const void* value;
  int32_t length;
};

// Token scanner of the parameter-group reader: cuts the records of a unit into
// delimiters, names, values, subscript lists and the other tokens of a group.
#pragma once
#include <cstdint>

#include "textin/group.h"

struct UnitBlock;

namespace GroupScan {

// Size of the statement's token buffer; a name or value longer than this is
// a syntax error.
constexpr int64_t kTokenBufferSize = 2000;

enum TokenKind : uint8_t {
  kTokEndOfFile,
  kTokDelimiter,  // & $ or /
  kTokName,
  kTokEquals,
  kTokQuery,        // ?
  kTokEqualsQuery,  // =?
  kTokRecordEnd,
  kTokValue,
  kTokSubscripts,
  kTokSubstring,
  kTokComma,
  kTokComponent,  // % or .
  kTokKindCount,
};

enum ValueForm : uint8_t { kValueNumber, kValueLogical, kValueQuoted };

// How the characters after the blanks are read, chosen by the parser state.
enum ScanMode : uint8_t {
  kModeSeek,         // lenient: names, & $ ? =? count; other text drops the record
  kModeNames,        // inside the group where no value may come
  kModeArrayName,    // after the name of an array: '(' opens subscripts
  kModeScalarName,   // after the name of a scalar: '(' opens a substring
  kModeSubscripted,  // after subscripts: '(' opens a substring
  kModeValues,       // after '=' or a value
};

// Bits of Subscript::given.
enum SubscriptPart : uint8_t { kSubStart = 1, kSubColon = 2, kSubEnd = 4, kSubStride = 8 };

struct Subscript {
  int64_t start = 0;
  int64_t end = 0;
  int64_t stride = 1;
  uint8_t given = 0;  // SubscriptPart bits
};

struct Token {
  TokenKind kind = kTokEndOfFile;
  // Name, or value text after any repeat count. Numbers and logical values
  // point into the record, quoted strings into the token buffer.
  const char* text = nullptr;
  int64_t length = 0;
  ValueForm form = kValueNumber;
  bool integer_looking = false;  // number text without point or exponent letter
  int32_t repeat = 0;            // 0 when no repeat count was written
  bool null_repeat = false;      // r* : r null values
  int count = 0;                 // subscripts (or 1 for a substring)
  Subscript sub[kGroupMaxRank];
};

// The scanner's view of the unit: the current record and the cursor in it.
struct Scanner {
  UnitBlock* unit = nullptr;
  const GroupDescriptor* group = nullptr;
  const char* start = nullptr;  // first byte of the current record
  const char* p = nullptr;      // next byte to scan
  const char* end = nullptr;    // end of the current record
  bool at_eof = false;          // the last fetch met the end of the file
  char* buffer = nullptr;       // token buffer of kTokenBufferSize bytes
};

// Fetches the next record into the scanner. Returns 0, 24 at end of file,
// or the record fetch's own error (39, 98). The unit's record counter grows by
// one for every fetch, the one meeting end of file included.
int Fetch(Scanner& s);

// Characters of the current record consumed so far (0 after end of file).
int64_t Position(const Scanner& s);

// Reads the next token for `mode` into *tok. Returns 0, 17 for text that is
// not a token of the mode (or an unreadable record), or 24 at end of file
// inside a quoted string or a subscript list.
int Next(Scanner& s, ScanMode mode, Token* tok);

// True when the name [a, a+alen) equals [b, b+blen) ignoring ASCII case.
bool SameName(const char* a, int64_t alen, const char* b, int64_t blen);

// Checks number text with the list-directed token rules (signs, one decimal
// point, one exponent letter after a digit, I/N spellings only at the start).
// Sets *integer_looking when there is neither point nor exponent letter.
bool NumberSyntaxOk(const char* text, int64_t length, bool* integer_looking);

}  // namespace GroupScan

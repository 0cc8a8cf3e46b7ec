// Environment variables of the units: buffered mode, record length, block
// size and buffer count, the record terminator rule and the file-name variables.
#pragma once
#include <cstdint>

namespace UnitEnv {

// Parses the integer syntax of the size variables: an optional sign and
// decimal digits, blanks anywhere ignored; empty or all blank is 0. Returns
// false when malformed (another character, a sign after a digit, a sign
// without digits, or a value outside 32 bits).
bool ParseSize(const char* text, int32_t* value);

// The size variables as read once per process. A zero value means "not set";
// an error field holds 99, 106 or 107 when its variable was malformed or out
// of range (every affected connection then fails with it).
struct Sizes {
  int32_t fmt_recl = 0;      // VELD_FMT_RECL, at least 1 when set
  int32_t block_size = 0;    // VELD_BLOCKSIZE rounded up to a multiple of 512
  int32_t buffer_count = 0;  // VELD_BUFFERCOUNT, 1..127 when set
  int fmt_recl_error = 0;
  int block_size_error = 0;
  int buffer_count_error = 0;
};

// Reads the three size variables; later calls do nothing.
void ReadSizes();

// Forgets the sizes and the terminator rule read so far, so that the next
// use reads the environment again (a forked child with another environment).
void Forget();

// The sizes, read first if nobody has read them yet.
const Sizes& GetSizes();

// Decodes the size variables from the given texts (null: not set).
Sizes DecodeSizes(const char* fmt_recl, const char* block_size, const char* buffer_count);

// The record terminator rule. `all` set: every formatted unit gets it.
// Otherwise units in the list get `list_kind`, the others `default_kind`
// (0: unchanged). Kinds are record types 6 (LF), 7 (CR) or 8 (CRLF).
constexpr int kMaxTerminatorEntries = 64;
struct TerminatorRule {
  uint8_t all = 0;
  uint8_t default_kind = 0;
  uint8_t list_kind = 0;
  int count = 0;
  int64_t low[kMaxTerminatorEntries] = {};
  int64_t high[kMaxTerminatorEntries] = {};
};

// Parses a terminator value. Returns false when it is malformed (the rule is
// then empty: no unit changes).
bool ParseTerminator(const char* text, TerminatorRule* rule);

// The record type the rule gives `unit`, or 0 when it leaves it unchanged.
uint8_t TerminatorKind(const TerminatorRule& rule, int unit);

// The record type VELD_FMT_TERMINATOR gives `unit`, or 0. The variable is read
// at the first call; a malformed value is ignored and, once, handed to the
// warning hook.
uint8_t TerminatorForUnit(int unit);

// The hook that warns of a malformed variable (start-up registers the
// report of row 96); none: no warning.
void SetWarningHook(void (*warn)(const char* variable));

// VELD_BUFFERED, read at every call.
bool BufferedByDefault();

// VELD_PRINT, or null when not set.
const char* PrintFileName();

// VELDn for unit n, or null when not set.
const char* UnitFileName(int unit);

}  // namespace UnitEnv

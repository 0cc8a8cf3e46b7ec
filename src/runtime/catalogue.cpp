// The built-in message texts: number, severity and text of every row.
#include "runtime/catalogue.h"

#include <cstring>

#include "runtime/msg.h"

namespace {

// Ascending by number; Find relies on the order.
constexpr MessageRow kRows[] = {
    {8, kSevSevere, "internal consistency check failure, file %s, line %d"},
    {9, kSevSevere, "permission to access file denied, unit %d, file %s"},
    {10, kSevSevere, "cannot overwrite existing file, unit %d, file %s"},
    {17, kSevSevere, "syntax error in NAMELIST input, unit %d, file %s"},
    {18, kSevSevere, "too many values for NAMELIST variable, unit %d, file %s"},
    {19, kSevSevere, "invalid reference to variable in NAMELIST input, unit %d, file %s"},
    {20, kSevSevere, "REWIND error, unit %d, file %s"},
    {24, kSevSevere, "end-of-file during read, unit %d, file %s"},
    {28, kSevSevere, "CLOSE error, unit %d, file %s"},
    {29, kSevSevere, "file not found, unit %d, file %s"},
    {30, kSevSevere, "open failure, unit %d, file %s"},
    {32, kSevSevere, "invalid logical unit number, unit %d, file %s"},
    {38, kSevSevere, "error during write, unit %d, file %s"},
    {39, kSevSevere, "error during read, unit %d, file %s"},
    {40, kSevSevere, "recursive I/O operation, unit %d, file %s"},
    {41, kSevSevere, "insufficient virtual memory"},
    {42, kSevSevere, "no such device, unit %d, file %s"},
    {43, kSevSevere, "file name specification error, unit %d, file %s"},
    {45, kSevSevere, "keyword value error in OPEN statement, unit %d, file %s"},
    {47, kSevSevere, "write to READONLY file, unit %d, file %s"},
    {48, kSevSevere, "invalid attribute code in OPEN statement, unit %d, file %s"},
    {59, kSevSevere, "list-directed I/O syntax error, unit %d, file %s"},
    {64, kSevSevere, "input conversion error, unit %d, file %s"},
    {65, kSevError, "floating invalid"},
    {66, kSevSevere, "output statement overflows record, unit %d, file %s"},
    {72, kSevError, "floating overflow"},
    {73, kSevError, "floating divide by zero"},
    {74, kSevError, "floating underflow"},
    {96, kSevWarning, "%s environment variable has erroneous syntax and is ignored"},
    {98, kSevSevere,
     "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
    {99, kSevSevere, "VELD_FMT_RECL environment variable has erroneous syntax"},
    {106, kSevSevere, "VELD_BLOCKSIZE environment variable has erroneous syntax"},
    {107, kSevSevere, "VELD_BUFFERCOUNT environment variable has erroneous syntax"},
    {140, kSevError, "floating inexact"},
    {151, kSevSevere, "allocatable array is already allocated"},
    {157, kSevSevere, "Program Exception - access violation"},
    {158, kSevSevere, "Program Exception - datatype misalignment"},
    {159, kSevSevere, "Program Exception - breakpoint"},
    {160, kSevSevere, "Program Exception - single step"},
    {161, kSevSevere, "Program Exception - array bounds exceeded"},
    {162, kSevSevere, "Program Exception - denormal floating-point operand"},
    {163, kSevSevere, "Program Exception - floating stack check"},
    {164, kSevSevere, "Program Exception - integer divide by zero"},
    {165, kSevSevere, "Program Exception - integer overflow"},
    {166, kSevSevere, "Program Exception - privileged instruction"},
    {167, kSevSevere, "Program Exception - in page error"},
    {168, kSevSevere, "Program Exception - illegal instruction"},
    {169, kSevSevere, "Program Exception - noncontinuable exception"},
    {170, kSevSevere, "Program Exception - stack overflow"},
    {171, kSevSevere, "Program Exception - invalid disposition"},
    {172, kSevSevere, "Program Exception - exception code = 0x%lx (%ld)"},
    {179, kSevSevere, "Cannot allocate array - overflow on array size calculation."},
    {200, kSevError, "program aborting due to %s event"},
    {257, kSevSevere, "formatted I/O to unit open for unformatted transfers, unit %d, file %s"},
    {259, kSevSevere, "sequential-access I/O to unit open for direct access, unit %d, file %s"},
    {296, kSevInfo, "%d floating inexact traps"},
    {297, kSevInfo, "%d floating invalid traps"},
    {298, kSevInfo, "%d floating overflow traps"},
    {299, kSevInfo, "%d floating divide-by-zero traps"},
    {300, kSevInfo, "%d floating underflow traps"},
    {450, kSevNone, "dravel: "},
    {451, kSevNone, "dravel: info (%i): "},
    {452, kSevNone, "dravel: warning (%i): "},
    {453, kSevNone, "dravel: error (%i): "},
    {454, kSevNone, "dravel: severe (%i): "},
    {455, kSevNone, "dravel"},
    {500, kSevSevere, "Message not found"},
    {502, kSevSevere, "insufficient memory to write the diagnostic of message %d"},
    {505, kSevNone, "dravel Run-Time Error"},
    {513, kSevNone, "Unknown"},
    {514, kSevNone, ", line %s, position %d"},
};

constexpr size_t kRowCount = sizeof kRows / sizeof kRows[0];

}  // namespace

namespace MessageCatalogue {

const MessageRow* Find(unsigned number) {
  unsigned key = number % 65536u;
  size_t lo = 0, hi = kRowCount;
  while (lo < hi) {
    size_t mid = (lo + hi) / 2;
    if (kRows[mid].number < key) lo = mid + 1;
    else hi = mid;
  }
  return (lo < kRowCount && kRows[lo].number == key) ? &kRows[lo] : nullptr;
}

const MessageRow* Rows() { return kRows; }
size_t RowCount() { return kRowCount; }

const char* Prefix(int severity) {
  if (severity < 0) severity = 0;
  if (severity > kSevSevere) severity = kSevSevere;
  return Find(static_cast<unsigned>(Code(Msg::kPrefixFirst) + severity))->text;
}

const char* PrefixWord() { return Find(Msg::kPrefixWord)->text; }
const char* Caption() { return Find(Msg::kCaption)->text; }

void Close() {}

}  // namespace MessageCatalogue

void CloseMessageCatalogue() { MessageCatalogue::Close(); }

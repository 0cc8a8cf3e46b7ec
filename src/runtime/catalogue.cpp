// The built-in message texts and the formatter that fills them in.
#include "runtime/catalogue.h"

#include <cstring>

#include "runtime/diagnostics.h"
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
    {98, kSevSevere, "cannot allocate memory for the file buffer - out of memory, unit %d, file %s"},
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

// Appends bytes to a bounded output, counting what fits.
struct Out {
  char* p;
  size_t cap;
  size_t len;
  void put(char c) {
    if (len < cap) p[len++] = c;
  }
  void repeat(char c, int n) {
    for (int i = 0; i < n; ++i) put(c);
  }
};

// One parsed conversion directive ("%-17.17s").
struct Directive {
  bool left = false;
  bool zero = false;
  int width = 0;
  int precision = -1;
  int longs = 0;  // number of 'l' modifiers
  bool half = false;
  char conv = 0;
};

// Digits of v in `base` into buf (reversed order); returns the count.
int Digits(uint64_t v, unsigned base, bool upper, char* buf) {
  const char* set = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  int n = 0;
  do {
    buf[n++] = set[v % base];
    v /= base;
  } while (v != 0);
  return n;
}

void EmitInteger(Out& out, const Directive& dir, const MsgArg* arg) {
  int64_t value = (arg && !arg->s) ? arg->i : 0;
  bool is_signed = dir.conv == 'd' || dir.conv == 'i';
  bool negative = false;
  uint64_t magnitude;
  if (is_signed) {
    if (dir.longs == 0) value = static_cast<int32_t>(value);
    if (dir.half) value = static_cast<int16_t>(value);
    negative = value < 0;
    magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  } else {
    magnitude = static_cast<uint64_t>(value);
    if (dir.longs == 0) magnitude = static_cast<uint32_t>(magnitude);
    if (dir.half) magnitude = static_cast<uint16_t>(magnitude);
  }
  char digits[24];
  unsigned base = (dir.conv == 'x' || dir.conv == 'X') ? 16 : 10;
  int n = Digits(magnitude, base, dir.conv == 'X', digits);
  if (dir.precision == 0 && magnitude == 0) n = 0;
  int zeros = dir.precision > n ? dir.precision - n : 0;
  int body = n + zeros + (negative ? 1 : 0);
  int pad = dir.width > body ? dir.width - body : 0;
  bool zero_pad = dir.zero && !dir.left && dir.precision < 0;
  if (!dir.left && !zero_pad) out.repeat(' ', pad);
  if (negative) out.put('-');
  if (zero_pad) out.repeat('0', pad);
  out.repeat('0', zeros);
  while (n > 0) out.put(digits[--n]);
  if (dir.left) out.repeat(' ', pad);
}

void EmitText(Out& out, const Directive& dir, const MsgArg* arg) {
  if (arg && !arg->s) {
    Directive as_int = dir;
    as_int.conv = 'd';
    as_int.longs = 2;
    EmitInteger(out, as_int, arg);
    return;
  }
  const char* s = arg ? arg->s : "";
  size_t len = 0;
  if (arg && arg->len >= 0) {
    len = static_cast<size_t>(arg->len);
  } else {
    while (s[len]) ++len;
  }
  if (dir.precision >= 0 && len > static_cast<size_t>(dir.precision))
    len = static_cast<size_t>(dir.precision);
  int pad = dir.width > static_cast<int>(len) ? dir.width - static_cast<int>(len) : 0;
  if (!dir.left) out.repeat(' ', pad);
  for (size_t i = 0; i < len; ++i) out.put(s[i]);
  if (dir.left) out.repeat(' ', pad);
}

// Reads the directive after '%' at *f; advances *f past it.
Directive ParseDirective(const char** f) {
  Directive dir;
  const char* p = *f;
  for (;; ++p) {
    if (*p == '-') dir.left = true;
    else if (*p == '0') dir.zero = true;
    else if (*p == ' ' || *p == '+' || *p == '#') continue;
    else break;
  }
  while (*p >= '0' && *p <= '9') dir.width = dir.width * 10 + (*p++ - '0');
  if (*p == '.') {
    ++p;
    dir.precision = 0;
    while (*p >= '0' && *p <= '9') dir.precision = dir.precision * 10 + (*p++ - '0');
  }
  while (*p == 'l' || *p == 'h') {
    if (*p == 'l') ++dir.longs;
    else dir.half = true;
    ++p;
  }
  dir.conv = *p;
  if (*p) ++p;
  *f = p;
  return dir;
}

}  // namespace

size_t FormatText(char* out_buf, size_t capacity, const char* format, const MsgArg* args,
                  size_t arg_count) {
  Out out{out_buf, capacity, 0};
  size_t next = 0;
  for (const char* f = format; *f;) {
    if (*f != '%') {
      out.put(*f++);
      continue;
    }
    ++f;
    Directive dir = ParseDirective(&f);
    const MsgArg* arg = nullptr;
    switch (dir.conv) {
      case '%':
        out.put('%');
        break;
      case 'd': case 'i': case 'u': case 'x': case 'X':
        arg = next < arg_count ? &args[next] : nullptr;
        ++next;
        EmitInteger(out, dir, arg);
        break;
      case 's':
        arg = next < arg_count ? &args[next] : nullptr;
        ++next;
        EmitText(out, dir, arg);
        break;
      case 'c':
        arg = next < arg_count ? &args[next] : nullptr;
        ++next;
        if (arg && !arg->s) out.put(static_cast<char>(arg->i));
        break;
      default:  // unknown or cut-off conversion: shown as written
        out.put('%');
        if (dir.conv) out.put(dir.conv);
        break;
    }
  }
  return out.len;
}

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

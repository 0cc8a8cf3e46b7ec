// The small printf-like formatter that fills in the conversions of a
// message text (async-signal-safe: no allocation, no library call).
#include "runtime/msgformat.h"

namespace {

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
      case '%': out.put('%'); break;
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
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

// Token scanner of the parameter-group reader: lenient while the group is
// sought, strict inside it, where only blanks and tabs separate tokens.
#include "textin/groupscan.h"

#include "runtime/msg.h"
#include "runtime/units.h"
#include "textin/number.h"
#include "textin/records.h"

namespace GroupScan {
namespace {

// Subscript numbers are kept below this magnitude; anything larger is far
// outside every bound and saturates here.
constexpr int64_t kBoundCap = int64_t{1} << 50;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) {
  const char l = static_cast<char>(c | 0x20);
  return l >= 'a' && l <= 'z';
}
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == '$'; }
char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }
bool IsSign(char c) { return c == '+' || c == '-'; }
bool IsExponentLetter(char c) {
  const char u = Upper(c);
  return u == 'E' || u == 'D' || u == 'Q';
}
bool IsLogicalLetter(char c) {
  const char u = Upper(c);
  return u == 'T' || u == 'F';
}

// Characters that end a value inside a group.
bool EndsValue(char c) {
  switch (c) {
    case ' ':
    case '\t':
    case ',':
    case '/':
    case '!':
    case '&':
    case '$':
    case ')': return true;
    default: return false;
  }
}

// The end of the record was reached: fetches the next record and makes the
// token a record end, or end of file. Returns 0 or 17 (unreadable record).
int RecordEnd(Scanner& s, Token* tok) {
  const int rc = Fetch(s);
  if (rc == Code(Msg::kEndOfFile)) {
    tok->kind = kTokEndOfFile;
    return 0;
  }
  if (rc != 0) return Code(Msg::kGroupSyntax);
  tok->kind = kTokRecordEnd;
  return 0;
}

// End of the name starting at p (letters, digits, '_' and '$').
const char* NameEnd(const char* p, const char* end) {
  while (p < end && IsNameChar(*p)) ++p;
  return p;
}

bool IsObjectName(const GroupDescriptor& group, const char* text, int64_t length) {
  for (int32_t i = 0; i < group.object_count; ++i) {
    const GroupObject& o = group.objects[i];
    if (SameName(text, length, o.name, o.name_len)) return true;
  }
  return false;
}

// Where a value may come, a word is a name when '=', '(' or '%' follows it on
// the record, or when it names an object of the group; otherwise it is a
// value when it can start one (T, F, I, N) and a name in every other case.
bool WordIsName(const Scanner& s) {
  const char* word_end = NameEnd(s.p, s.end);
  const char* q = word_end;
  while (q < s.end && IsBlank(*q)) ++q;
  if (q < s.end && (*q == '=' || *q == '(' || *q == '%')) return true;
  if (IsObjectName(*s.group, s.p, word_end - s.p)) return true;
  const char u = Upper(*s.p);
  return !(u == 'T' || u == 'F' || u == 'I' || u == 'N');
}

int ScanName(Scanner& s, Token* tok) {
  const char* e = NameEnd(s.p, s.end);
  tok->text = s.p;
  tok->length = e - s.p;
  s.p = e;
  if (tok->length > kTokenBufferSize) return Code(Msg::kGroupSyntax);
  tok->kind = kTokName;
  return 0;
}

// Inside a subscript list: skips blanks and tabs, a comment after '!' and
// record ends. Returns 0 with a character under the cursor, 24 or 17.
int SkipListBlanks(Scanner& s) {
  for (;;) {
    if (s.p >= s.end) {
      const int rc = Fetch(s);
      if (rc == Code(Msg::kEndOfFile)) return Code(Msg::kEndOfFile);
      if (rc != 0) return Code(Msg::kGroupSyntax);
      continue;
    }
    if (IsBlank(*s.p)) {
      ++s.p;
    } else if (*s.p == '!') {
      s.p = s.end;
    } else {
      return 0;
    }
  }
}

// Reads an optional bound: a sign directly followed by digits, or digits.
// *given tells whether one was there. Returns 0, 17 (a sign without digits)
// or 24.
int ReadBound(Scanner& s, int64_t* value, bool* given) {
  *given = false;
  int rc = SkipListBlanks(s);
  if (rc != 0) return rc;
  bool negative = false;
  if (IsSign(*s.p)) {
    negative = *s.p == '-';
    ++s.p;
    if (s.p >= s.end || !IsDigit(*s.p)) return Code(Msg::kGroupSyntax);
  }
  if (!IsDigit(*s.p)) return 0;
  int64_t v = 0;
  while (s.p < s.end && IsDigit(*s.p)) {
    v = v * 10 + (*s.p - '0');
    if (v > kBoundCap) v = kBoundCap;
    ++s.p;
  }
  *value = negative ? -v : v;
  *given = true;
  return 0;
}

// One subscript [start][:[end][:stride]]. Returns 0, 17 or 24; leaves the
// cursor on the character after it (',' or ')' when well formed).
int ReadSubscript(Scanner& s, Subscript* sub) {
  bool given = false;
  int rc = ReadBound(s, &sub->start, &given);
  if (rc != 0) return rc;
  if (given) sub->given |= kSubStart;
  if ((rc = SkipListBlanks(s)) != 0) return rc;
  if (*s.p != ':') return (sub->given & kSubStart) ? 0 : Code(Msg::kGroupSyntax);
  ++s.p;
  sub->given |= kSubColon;
  if ((rc = ReadBound(s, &sub->end, &given)) != 0) return rc;
  if (given) sub->given |= kSubEnd;
  if ((rc = SkipListBlanks(s)) != 0) return rc;
  if (*s.p != ':') return 0;
  ++s.p;
  if ((rc = ReadBound(s, &sub->stride, &given)) != 0) return rc;
  if (!given || sub->stride == 0) return Code(Msg::kGroupSyntax);
  sub->given |= kSubStride;
  return SkipListBlanks(s);
}

// A subscript list from its '(' to its ')': at most kGroupMaxRank
// subscripts separated by commas.
int ScanSubscripts(Scanner& s, Token* tok) {
  ++s.p;
  for (int count = 0;; ++count) {
    if (count == kGroupMaxRank) return Code(Msg::kGroupSyntax);
    const int rc = ReadSubscript(s, &tok->sub[count]);
    if (rc != 0) return rc;
    const char c = *s.p++;
    if (c == ')') {
      tok->count = count + 1;
      tok->kind = kTokSubscripts;
      return 0;
    }
    if (c != ',') return Code(Msg::kGroupSyntax);
  }
}

// A substring range ([first]:[last]) from its '(' to its ')'.
int ScanSubstring(Scanner& s, Token* tok) {
  ++s.p;
  Subscript& sub = tok->sub[0];
  bool given = false;
  int rc = ReadBound(s, &sub.start, &given);
  if (rc == 0) rc = SkipListBlanks(s);
  if (rc != 0) return rc;
  if (*s.p++ != ':') return Code(Msg::kGroupSyntax);
  rc = ReadBound(s, &sub.end, &given);
  if (rc == 0) rc = SkipListBlanks(s);
  if (rc != 0) return rc;
  if (*s.p++ != ')') return Code(Msg::kGroupSyntax);
  tok->count = 1;
  tok->kind = kTokSubstring;
  return 0;
}

// A quoted string, which may continue over record ends; a doubled delimiter
// stands for one. The text goes to the token buffer.
int ScanQuoted(Scanner& s, Token* tok) {
  const char delimiter = *s.p++;
  int64_t n = 0;
  for (;;) {
    if (s.p >= s.end) {
      const int rc = Fetch(s);
      if (rc == Code(Msg::kEndOfFile)) return Code(Msg::kEndOfFile);
      if (rc != 0) return Code(Msg::kGroupSyntax);
      continue;
    }
    const char c = *s.p++;
    if (c == delimiter) {
      if (s.p >= s.end || *s.p != delimiter) break;
      ++s.p;
    }
    if (n == kTokenBufferSize) return Code(Msg::kGroupSyntax);
    s.buffer[n++] = c;
  }
  tok->text = s.buffer;
  tok->length = n;
  tok->form = kValueQuoted;
  tok->kind = kTokValue;
  return 0;
}

// The value proper, after any repeat count: a quoted string, a logical
// value or number text, checked but not yet converted.
int ScanValueText(Scanner& s, Token* tok) {
  const char c = *s.p;
  if (c == '\'' || c == '"') return ScanQuoted(s, tok);
  const char* e = s.p;
  while (e < s.end && !EndsValue(*e)) ++e;
  tok->text = s.p;
  tok->length = e - s.p;
  s.p = e;
  if (tok->length > kTokenBufferSize) return Code(Msg::kGroupSyntax);
  tok->kind = kTokValue;
  if (IsLogicalLetter(c) || (c == '.' && tok->length > 1 && IsLogicalLetter(tok->text[1]))) {
    tok->form = kValueLogical;
    return 0;
  }
  tok->form = kValueNumber;
  return NumberSyntaxOk(tok->text, tok->length, &tok->integer_looking) ? 0
                                                                       : Code(Msg::kGroupSyntax);
}

// A value with an optional repeat count r* in front; "r*" followed by the end
// of the value stands for r null values.
int ScanValue(Scanner& s, Token* tok) {
  const char* star = s.p;
  if (*star != '\'' && *star != '"') {
    while (star < s.end && !EndsValue(*star) && *star != '*') ++star;
  }
  if (star < s.end && *star == '*') {
    const char* count_text = s.p;
    s.p = star + 1;
    int32_t r = 0;
    if (star == count_text || star - count_text > kTokenBufferSize ||
        TextToInteger(count_text, star - count_text, kListIntOptions, &r) != kIntOk) {
      return Code(Msg::kGroupSyntax);
    }
    tok->repeat = r < 1 ? 1 : r;
    if (s.p >= s.end || EndsValue(*s.p)) {
      tok->null_repeat = true;
      tok->kind = kTokValue;
      return 0;
    }
  }
  return ScanValueText(s, tok);
}

// The token at `?` or `=`: a query, an equals-query ("=?") or an equals.
int ScanQueryOrEquals(Scanner& s, Token* tok) {
  tok->kind = *s.p == '?' ? kTokQuery : kTokEquals;
  ++s.p;
  if (tok->kind == kTokEquals && s.p < s.end && *s.p == '?') {
    ++s.p;
    tok->kind = kTokEqualsQuery;
  }
  return 0;
}

// Seeking: names, delimiters and the query tokens count; anything else drops
// the rest of the record.
int NextLenient(Scanner& s, Token* tok) {
  const char c = *s.p;
  if (c == '&' || c == '$') {
    ++s.p;
    tok->kind = kTokDelimiter;
    return 0;
  }
  if (IsLetter(c)) {
    const char* e = NameEnd(s.p, s.end);
    tok->text = s.p;
    tok->length = e - s.p;
    tok->kind = kTokName;
    s.p = e;
    return 0;
  }
  if (c == '?' || c == '=') return ScanQueryOrEquals(s, tok);
  s.p = s.end;
  return RecordEnd(s, tok);
}

bool AfterName(ScanMode mode) {
  return mode == kModeArrayName || mode == kModeScalarName || mode == kModeSubscripted;
}

// Inside the group: every character outside the tokens of the mode is a
// syntax error (a carriage return or other control character included).
int NextStrict(Scanner& s, ScanMode mode, Token* tok) {
  const char c = *s.p;
  switch (c) {
    case '!': s.p = s.end; return RecordEnd(s, tok);
    case '&':
    case '$':
    case '/':
      ++s.p;
      tok->kind = kTokDelimiter;
      return 0;
    case ',':
      ++s.p;
      tok->kind = kTokComma;
      return 0;
    case '?':
    case '=': return ScanQueryOrEquals(s, tok);
    case '(':
      if (mode == kModeArrayName) return ScanSubscripts(s, tok);
      if (mode == kModeScalarName || mode == kModeSubscripted) return ScanSubstring(s, tok);
      break;
    case '%':
    case '.':
      if (AfterName(mode)) {
        ++s.p;
        tok->kind = kTokComponent;
        return 0;
      }
      if (c == '.' && mode == kModeValues) return ScanValue(s, tok);
      break;
    default:
      if (IsLetter(c)) {
        if (mode == kModeValues && !WordIsName(s)) return ScanValue(s, tok);
        return ScanName(s, tok);
      }
      if (mode == kModeValues && (IsDigit(c) || IsSign(c) || c == '\'' || c == '"' || c == '*')) {
        return ScanValue(s, tok);
      }
      break;
  }
  ++s.p;
  return Code(Msg::kGroupSyntax);
}

}  // namespace

int Fetch(Scanner& s) {
  UnitBlock* u = s.unit;
  const uint64_t before = u->record_counter;
  const int rc = FetchRecord(u, false);
  if (u->record_counter == before) u->record_counter = before + 1;
  if (rc != 0) {
    s.at_eof = rc == Code(Msg::kEndOfFile);
    s.start = s.p = s.end = nullptr;
    return rc;
  }
  s.at_eof = false;
  s.start = u->record_start;
  s.p = u->pos;
  s.end = u->record_end;
  return 0;
}

int64_t Position(const Scanner& s) {
  if (s.at_eof || s.start == nullptr) return 0;
  return s.p - s.start;
}

int Next(Scanner& s, ScanMode mode, Token* tok) {
  *tok = Token{};
  while (s.p < s.end && IsBlank(*s.p)) ++s.p;
  if (s.p >= s.end) return RecordEnd(s, tok);
  return mode == kModeSeek ? NextLenient(s, tok) : NextStrict(s, mode, tok);
}

bool SameName(const char* a, int64_t alen, const char* b, int64_t blen) {
  if (alen != blen) return false;
  for (int64_t i = 0; i < alen; ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

bool NumberSyntaxOk(const char* text, int64_t length, bool* integer_looking) {
  *integer_looking = true;
  if (length <= 0) return false;
  const int64_t lead = IsSign(text[0]) ? 1 : 0;
  if (lead < length) {
    const char u = Upper(text[lead]);
    if (u == 'I' || u == 'N') return true;  // the conversion judges the spelling
  }
  bool expecting_digit = true;
  bool last_sign = false;
  bool point = false;
  bool exponent = false;
  for (int64_t i = 0; i < length; ++i) {
    const char c = text[i];
    if (IsDigit(c)) {
      expecting_digit = false;
    } else if (IsSign(c)) {
      if (last_sign) return false;
      expecting_digit = true;
    } else if (c == '.') {
      if (point) return false;
      point = true;
    } else if (IsExponentLetter(c)) {
      if (exponent || expecting_digit) return false;
      exponent = true;
    } else {
      return false;
    }
    last_sign = IsSign(c);
  }
  *integer_looking = !point && !exponent;
  return !expecting_digit;
}

}  // namespace GroupScan

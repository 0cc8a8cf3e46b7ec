// Parameter-group input: the parser's transition table over the scanner's
// tokens, object and subscript selection, and the storing of values.
#include "textin/groupreader.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "runtime/items.h"
#include "runtime/msg.h"
#include "runtime/statement.h"
#include "runtime/platform/memory.h"
#include "runtime/units.h"
#include "textin/groupscan.h"
#include "textin/number.h"

namespace GroupReader {
namespace {

using namespace GroupScan;

enum State : uint8_t {
  kSeek,
  kAfterDelimiter,
  kAfterGroupName,
  kAfterObjectName,
  kAfterSubscripts,
  kAfterSubstring,
  kAfterEquals,
  kAfterValue,
  kAfterComponent,
  kStateRows,  // states above have a row in the table
  kEnd = kStateRows,
  kQuery,        // query action for '?'
  kEqualsQuery,  // query action for '=?'
  kBad,          // syntax error
};

// Next state by current state and token kind. Columns: end-of-file,
// delimiter, name, equals, query, equals-query, record end, value,
// subscripts, substring, comma, component.
constexpr State kTransition[kStateRows][kTokKindCount] = {
    // seek
    {kEnd, kAfterDelimiter, kSeek, kSeek, kQuery, kEqualsQuery, kSeek, kSeek, kSeek, kSeek, kSeek,
     kSeek},
    // after-delimiter (a name other than the group's goes back to seek)
    {kEnd, kSeek, kAfterGroupName, kSeek, kSeek, kSeek, kSeek, kSeek, kSeek, kSeek, kSeek, kSeek},
    // after-group-name
    {kEnd, kEnd, kAfterObjectName, kBad, kQuery, kEqualsQuery, kAfterGroupName, kBad, kBad, kBad,
     kBad, kBad},
    // after-object-name
    {kEnd, kBad, kBad, kAfterEquals, kBad, kBad, kAfterObjectName, kBad, kAfterSubscripts,
     kAfterSubstring, kBad, kAfterComponent},
    // after-subscripts
    {kEnd, kBad, kBad, kAfterEquals, kBad, kBad, kAfterSubscripts, kBad, kBad, kAfterSubstring,
     kBad, kAfterComponent},
    // after-substring
    {kEnd, kBad, kBad, kAfterEquals, kBad, kBad, kAfterSubstring, kBad, kBad, kBad, kBad, kBad},
    // after-equals
    {kEnd, kEnd, kBad, kBad, kBad, kBad, kAfterEquals, kAfterValue, kBad, kBad, kAfterValue, kBad},
    // after-value
    {kEnd, kEnd, kAfterObjectName, kBad, kQuery, kEqualsQuery, kAfterValue, kAfterValue, kBad, kBad,
     kAfterValue, kBad},
    // after-component
    {kEnd, kBad, kAfterObjectName, kBad, kBad, kBad, kAfterComponent, kBad, kBad, kBad, kBad, kBad},
};

// The token before the current one, as far as commas care: a comma right
// after '=' or after another comma is a null value.
enum LastToken : uint8_t { kLastEquals, kLastComma, kLastValue };

// The object being assigned: the range its index runs over and where it is.
struct Target {
  const GroupObject* object = nullptr;
  bool exhausted = false;
  int64_t first[kGroupMaxRank] = {};  // index that '=' starts at
  int64_t from[kGroupMaxRank] = {};   // where a dimension restarts
  int64_t to[kGroupMaxRank] = {};     // last index of the range
  int64_t step[kGroupMaxRank] = {};   // stride in elements
  int64_t index[kGroupMaxRank] = {};
};

struct Reader {
  Scanner scan;
  const GroupDescriptor* group = nullptr;
  State state = kSeek;
  LastToken last = kLastEquals;
  Target target;
};

// A converted value for one element type.
union Element {
  float real;
  double real8;
  int32_t integer;
};

ScanMode ModeFor(const Reader& r) {
  switch (r.state) {
    case kSeek:
    case kAfterDelimiter: return kModeSeek;
    case kAfterObjectName: return r.target.object->rank > 0 ? kModeArrayName : kModeScalarName;
    case kAfterSubscripts: return kModeSubscripted;
    case kAfterEquals:
    case kAfterValue: return kModeValues;
    default: return kModeNames;
  }
}

// Makes the object named by `tok` current, its range the whole object.
// Returns 0 or 19 (no such object).
int SelectObject(Reader& r, const Token& tok) {
  for (int32_t i = 0; i < r.group->object_count; ++i) {
    const GroupObject& o = r.group->objects[i];
    if (!SameName(tok.text, tok.length, o.name, o.name_len)) continue;
    if (o.rank < 0 || o.rank > kGroupMaxRank) return Code(Msg::kBadGroupReference);
    Target& t = r.target;
    t = Target{};
    t.object = &o;
    for (int d = 0; d < o.rank; ++d) {
      t.first[d] = t.from[d] = o.lower[d];
      t.to[d] = o.upper[d];
      t.step[d] = 1;
    }
    return 0;
  }
  return Code(Msg::kBadGroupReference);
}

// Checks a subscript list against the current object and sets the range:
// the section when any subscript holds ':', otherwise the declared bounds
// starting at the element named. Returns 0 or 19.
int ApplySubscripts(Target& t, const Token& tok) {
  const GroupObject& o = *t.object;
  if (tok.count != o.rank) return Code(Msg::kBadGroupReference);
  bool section = false;
  for (int d = 0; d < tok.count; ++d) section = section || (tok.sub[d].given & kSubColon);
  for (int d = 0; d < tok.count; ++d) {
    const Subscript& sub = tok.sub[d];
    const int64_t lower = o.lower[d];
    const int64_t upper = o.upper[d];
    const int64_t start = (sub.given & kSubStart) ? sub.start : lower;
    int64_t end = start;
    int64_t stride = 1;
    if (sub.given & kSubColon) {
      end = (sub.given & kSubEnd) ? sub.end : upper;
      stride = (sub.given & kSubStride) ? sub.stride : 1;
    }
    if (start < lower || start > upper || end < lower) return Code(Msg::kBadGroupReference);
    if ((stride > 0 && end < start) || (stride < 0 && end > start))
      return Code(Msg::kBadGroupReference);
    if (stride > 0 && end > upper) end = upper;
    t.first[d] = start;
    if (section) {
      t.from[d] = start;
      t.to[d] = end;
      t.step[d] = stride;
    } else {
      t.from[d] = lower;
      t.to[d] = upper;
      t.step[d] = 1;
    }
  }
  return 0;
}

// '=': the index goes to the start of the range; an empty range is
// exhausted at once.
void StartValues(Target& t) {
  t.exhausted = false;
  for (int d = 0; d < t.object->rank; ++d) {
    t.index[d] = t.first[d];
    const bool empty = t.step[d] > 0 ? t.first[d] > t.to[d] : t.first[d] < t.to[d];
    if (empty) t.exhausted = true;
  }
}

// Moves the index to the next element in storage order; past the last one
// the target is exhausted.
void Advance(Target& t) {
  for (int d = 0; d < t.object->rank; ++d) {
    t.index[d] += t.step[d];
    const bool inside = t.step[d] > 0 ? t.index[d] <= t.to[d] : t.index[d] >= t.to[d];
    if (inside) return;
    t.index[d] = t.from[d];
  }
  t.exhausted = true;
}

void Store(const Target& t, const Element& value) {
  const GroupObject& o = *t.object;
  int64_t offset = 0;
  for (int d = 0; d < o.rank; ++d) offset += (t.index[d] - o.lower[d]) * o.stride[d];
  const size_t size = o.type == kTypeReal8 ? sizeof value.real8 : 4;
  std::memcpy(static_cast<char*>(o.storage) + offset, &value, size);
}

// Converts the value for `type`. Returns 0 or 17 (text the conversion
// refuses); *refused receives 64 when the value cannot go into such an
// element at all (a quoted string or logical value for a number, or a type
// the reader does not convert), reported only when an element is reached.
int Convert(const Token& tok, uint8_t type, Element* out, int* refused) {
  *refused = 0;
  const bool number_type = type == kTypeReal4 || type == kTypeReal8 || type == kTypeInt32;
  if (tok.form != kValueNumber || !number_type) {
    *refused = Code(Msg::kConversion);
    return 0;
  }
  if (type == kTypeReal8) {
    const int rc = TextToDouble(tok.text, tok.length, 0, 0, kListRealOptions, &out->real8);
    return rc == kRealOk ? 0 : Code(Msg::kGroupSyntax);
  }
  if (type == kTypeReal4) {
    const int rc = TextToSingle(tok.text, tok.length, 0, 0, kListRealOptions, &out->real);
    return rc == kRealOk ? 0 : Code(Msg::kGroupSyntax);
  }
  if (tok.integer_looking) {
    return TextToInteger(tok.text, tok.length, kListIntOptions, &out->integer) == kIntOk
               ? 0
               : Code(Msg::kGroupSyntax);
  }
  double d = 0;
  if (TextToDouble(tok.text, tok.length, 0, 0, kListRealOptions, &d) != kRealOk) {
    return Code(Msg::kGroupSyntax);
  }
  const bool fits = !std::isnan(d) && d > -2147483649.0 && d < 2147483648.0;
  out->integer = fits ? static_cast<int32_t>(d) : INT32_MIN;
  return 0;
}

// A value token (possibly r*c or r*) lands on the elements from the current
// index on. Returns 0, 17, 18 or 64.
int AssignValue(Target& t, const Token& tok) {
  Element value{};
  int refused = 0;
  if (!tok.null_repeat) {
    const int rc = Convert(tok, t.object->type, &value, &refused);
    if (rc != 0) return rc;
  }
  const int32_t times = tok.repeat > 0 ? tok.repeat : 1;
  for (int32_t i = 0; i < times; ++i) {
    if (t.exhausted) return Code(Msg::kTooManyValues);
    if (!tok.null_repeat) {
      if (refused != 0) return refused;
      Store(t, value);
    }
    Advance(t);
  }
  return 0;
}

// A comma right after '=' or another comma is a null value: the element is
// skipped. After a value it only separates.
void TakeComma(Reader& r) {
  if (r.last != kLastValue) Advance(r.target);
  r.last = kLastComma;
}

// Carries out the transition of the current state on `tok`. Returns 0 or
// the error number; r.state becomes kEnd when the group is complete.
int Step(Reader& r, const Token& tok) {
  State next = kTransition[r.state][tok.kind];
  switch (next) {
    case kBad: return Code(Msg::kGroupSyntax);
    case kEnd:
      if (tok.kind == kTokEndOfFile) return Code(Msg::kEndOfFile);
      break;
    case kQuery:
    case kEqualsQuery:
      // The group writer is not part of this program: the query writes
      // nothing and reading goes on.
      next = r.state == kAfterValue ? kAfterGroupName : r.state;
      break;
    case kAfterGroupName:
      if (r.state == kAfterDelimiter &&
          !SameName(tok.text, tok.length, r.group->name, r.group->name_len)) {
        next = kSeek;
      }
      break;
    case kAfterObjectName:
      if (tok.kind == kTokName) {
        // No object of a group has components, so a component name never
        // refers to anything.
        if (r.state == kAfterComponent) return Code(Msg::kBadGroupReference);
        const int rc = SelectObject(r, tok);
        if (rc != 0) return rc;
      }
      break;
    case kAfterSubscripts:
      if (tok.kind == kTokSubscripts) {
        const int rc = ApplySubscripts(r.target, tok);
        if (rc != 0) return rc;
      }
      break;
    case kAfterSubstring:
      if (tok.kind == kTokSubstring && r.target.object->type != kTypeChar) {
        return Code(Msg::kBadGroupReference);
      }
      break;
    case kAfterEquals:
      if (tok.kind == kTokEquals) {
        StartValues(r.target);
        r.last = kLastEquals;
      }
      break;
    case kAfterValue:
      if (tok.kind == kTokComma) {
        TakeComma(r);
      } else if (tok.kind == kTokValue) {
        r.last = kLastValue;
        const int rc = AssignValue(r.target, tok);
        if (rc != 0) return rc;
      }
      break;
    default: break;
  }
  r.state = next;
  return 0;
}

// Runs the parser from seek to the end of the group. Returns 0 or the error.
int Parse(Reader& r) {
  Token tok;
  while (r.state != kEnd) {
    int rc = Next(r.scan, ModeFor(r), &tok);
    if (rc == 0) rc = Step(r, tok);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int read(int unit_number, unsigned flags, const GroupDescriptor& group) {
  StatementUnit statement(unit_number, flags);
  if (!statement.held()) return statement.status();
  UnitBlock* const unit = statement.unit();
  if (unit->flags & kUnitUnformatted) return statement.Fail(Code(Msg::kUnformattedUnit));
  if (unit->flags & kUnitDirect) return statement.Fail(Code(Msg::kDirectUnit));

  char* buffer = static_cast<char*>(Sys::Allocate(kTokenBufferSize));
  if (buffer == nullptr) return statement.Fail(Code(Msg::kNoMemory));

  Reader r;
  r.group = &group;
  r.scan.unit = unit;
  r.scan.group = &group;
  r.scan.buffer = buffer;
  int rc = Fetch(r.scan);
  if (rc != 0) {
    // End of file (or a read failure) at the first record: no position.
    Sys::Release(buffer);
    return statement.Fail(rc);
  }
  rc = Parse(r);
  if (r.scan.p != nullptr) unit->pos = const_cast<char*>(r.scan.p);
  Sys::Release(buffer);
  if (rc != 0) {
    const FailPosition where{static_cast<int64_t>(unit->record_counter) - 1, Position(r.scan)};
    return statement.Fail(rc, &where);
  }
  return statement.Done();
}

}  // namespace GroupReader

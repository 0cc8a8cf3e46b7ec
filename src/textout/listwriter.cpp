// List-directed output: lays out REAL(4) and CHARACTER items in the unit's
// record buffer, ends records at the line width and hands each to PutRecord.
#include "textout/listwriter.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "runtime/msg.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textout/pairtext.h"
#include "textout/realtext.h"

namespace ListWriter {
namespace {

// PutRecord appends the terminator (at most CR LF) in place after the record.
constexpr int kTerminatorRoom = 2;

// Layout state of the statement in progress on this thread.
struct Statement {
  StatementUnit hold;           // not held: no statement in progress
  int32_t room = 0;             // positions left in the current record
  bool at_record_start = true;  // nothing placed in the current record yet
  uint8_t last_item_kind = 0;   // type code of the last item in the record; 0 none
  int failed = 0;               // status of the last statement that failed
};

thread_local Statement g_statement;

// Where the next record is built: behind the held output of a buffered unit.
char* RecordBase(const UnitBlock* u) { return u->pending_end ? u->pending_end : u->buffer; }

// Begins a new record: the layout state is reset and room is made for the
// longest record this writer can build (the line width, or one REAL(4) field
// on a narrower line) with its terminator: held output of a buffered unit is
// written first, then the buffer is enlarged if need be. Returns 0, 38 or 66.
int StartRecord(Statement& s) {
  UnitBlock* u = s.hold.unit();
  const size_t longest = std::max<size_t>(u->line_width, RealText::kFieldWidth) + kTerminatorRoom;
  const size_t capacity = static_cast<size_t>(u->capacity);
  if (u->pending_end != nullptr &&
      static_cast<size_t>(u->pending_end - u->buffer) + longest > capacity) {
    if (FlushUnit(u) != 0) return Code(Msg::kWriteFailed);
  }
  const size_t offset = static_cast<size_t>(RecordBase(u) - u->buffer);
  if (offset + longest > capacity) {
    if (capacity > INT32_MAX / 2 || !GrowUnitBuffer(u, std::max(2 * capacity, offset + longest)))
      return Code(Msg::kRecordOverflow);
  }
  u->record_start = u->pos = RecordBase(u);
  s.room = u->line_width;
  s.at_record_start = true;
  s.last_item_kind = 0;
  return 0;
}

// Hands the record [record_start, pos) to the unit. Returns 0 or 38.
int WriteRecord(Statement& s) {
  UnitBlock* u = s.hold.unit();
  u->record_end = u->pos;
  const int rc = PutRecord(u, u->record_start, static_cast<size_t>(u->pos - u->record_start));
  return rc == 0 ? 0 : Code(Msg::kWriteFailed);
}

// Ends the current record and begins the next one. Returns 0, 38 or 66.
int NextRecord(Statement& s) {
  const int rc = WriteRecord(s);
  return rc != 0 ? rc : StartRecord(s);
}

void PutBlank(Statement& s) {
  *s.hold.unit()->pos++ = ' ';
  if (s.room > 0) --s.room;
}

// Places one REAL(4) item: a new record when fewer than 15 positions are
// left (unless the record is still empty), then the field. Returns 0 or an error.
int PlaceReal(Statement& s, const OutItem& item) {
  UnitBlock* u = s.hold.unit();
  if (s.room < RealText::kFieldWidth && u->pos != u->record_start) {
    if (const int rc = NextRecord(s)) return rc;
  }
  uint32_t bits;
  std::memcpy(&bits, item.value, sizeof bits);
  RealText::to_list_field(bits, u->pos);
  u->pos += RealText::kFieldWidth;
  s.room = std::max(0, s.room - RealText::kFieldWidth);
  s.last_item_kind = kTypeReal4;
  s.at_record_start = false;
  return 0;
}

// Places one CHARACTER item as it is: a blank in front when it begins a
// record, a blank after a non-character item, a new record when it does not
// fit a non-empty record, and a split over as many records as it needs, each
// beginning with a blank. Returns 0 or an error (66: the line is too narrow
// to make progress).
int PlaceCharacter(Statement& s, const OutItem& item) {
  UnitBlock* u = s.hold.unit();
  const char* text = static_cast<const char*>(item.value);
  int64_t left = item.length > 0 ? item.length : 0;
  const int32_t fits = s.room;
  if (left > fits && u->line_width < 2) return Code(Msg::kRecordOverflow);
  if (s.at_record_start && fits >= left && fits > 1) {
    PutBlank(s);
    s.at_record_start = false;
  }
  if (s.last_item_kind != 0 && s.last_item_kind != kTypeChar && s.room > 0) PutBlank(s);
  if (left > fits && u->pos != u->record_start) {
    if (const int rc = NextRecord(s)) return rc;
  }
  for (;;) {
    if (s.at_record_start) {
      if (s.room > 1) PutBlank(s);
      s.at_record_start = false;
    }
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(left, s.room));
    std::memcpy(u->pos, text, static_cast<size_t>(n));
    u->pos += n;
    text += n;
    left -= n;
    s.room -= n;
    if (left == 0) break;
    if (const int rc = NextRecord(s)) return rc;
  }
  s.last_item_kind = kTypeChar;
  s.at_record_start = false;
  return 0;
}

// Places an item by its type code. Types without a list-directed output form
// here place nothing.
int Place(Statement& s, const OutItem& item) {
  switch (item.type) {
    case kTypeReal4: return PlaceReal(s, item);
    case kTypeChar: return PlaceCharacter(s, item);
    default: return 0;
  }
}

// Ends the statement's records: a record with one blank when nothing was
// placed, the last record written. The unit stays held. Returns 0 or an error.
int EndRecords(Statement& s) {
  UnitBlock* u = s.hold.unit();
  if (s.at_record_start && u->pos == u->record_start) {
    if (u->line_width < 2) return Code(Msg::kRecordOverflow);
    PutBlank(s);
  }
  if (const int rc = WriteRecord(s)) return rc;
  u->record_start = u->pos = RecordBase(u);
  s.at_record_start = true;
  s.last_item_kind = 0;
  return 0;
}

// Ends the statement after its records: the unit is released.
void ReleaseStatement(Statement& s) {
  s.failed = 0;
  s.hold.Release();
}

// Ends the statement: its records, then the unit. Returns 0 or an error.
int EndStatement(Statement& s) {
  if (const int rc = EndRecords(s)) return rc;
  ReleaseStatement(s);
  return 0;
}

// Failure of the statement in progress: the unit is released and the error
// reported, or returned when the statement asked for its status.
int Fail(Statement& s, int error) {
  s.failed = error;
  return s.hold.Fail(error);
}

// Places `item` (if any) and ends the statement when `more` is false.
int Continue(Statement& s, const OutItem* item, bool more) {
  if (item != nullptr) {
    if (const int rc = Place(s, *item)) return Fail(s, rc);
  }
  if (more) return 0;
  if (const int rc = EndStatement(s)) return Fail(s, rc);
  return 0;
}

// Connects a unit at its first use: the default output unit (and the other
// preconnected units) to standard output or its environment file, any other
// unit to its default file. Returns 0 or the error number.
int ConnectImplicitly(UnitBlock* u) {
  if (u->number == -1 || (u->flags & kUnitPreconnected)) return ConnectDefaultUnit(u);
  const OpenAttr attrs[] = {
      {kTypeInt32, kFormValue, kAttrStatus, kStatusUnknown, nullptr, 0},
      {kTypeEnd, 0, 0, 0, nullptr, 0},
  };
  return ConnectAcquired(u, attrs);
}

// The error that keeps a connected unit from list-directed writing, or 0.
int WriteCheck(const UnitBlock* u) {
  if (u->flags & kUnitUnformatted) return Code(Msg::kUnformattedUnit);
  if (u->flags & kUnitDirect) return Code(Msg::kDirectUnit);
  if (u->flags & kUnitReadOnly) return Code(Msg::kReadOnly);
  if (u->buffer == nullptr || u->capacity <= 0) return Code(Msg::kRecordOverflow);
  return 0;
}

// Begins a statement on the unit that `held` holds: implicit connection, the checks,
// the first record, then the first item.
int BeginHeld(StatementUnit&& held, const OutItem* first, bool more) {
  Statement& s = g_statement;
  s = Statement{};
  s.hold = static_cast<StatementUnit&&>(held);
  UnitBlock* const unit = s.hold.unit();
  if (!(unit->flags & kUnitConnected)) {
    if (const int rc = ConnectImplicitly(unit)) return Fail(s, rc);
  }
  if (const int rc = WriteCheck(unit)) return Fail(s, rc);
  if (const int rc = StartRecord(s)) return Fail(s, rc);
  // Every byte of a record is written by the item or blank that occupies it,
  // so the record area needs no blank fill first.
  return Continue(s, first, more);
}

// One statement of two REAL(4) items on the unit that `s` holds, as begin
// and put run it after their checks; the unit stays held. `formed`, when
// given, holds the two fields already (PairText::form). Returns 0 or an error.
int PairStatement(Statement& s, const float* x, const float* y, const char* formed = nullptr) {
  if (const int rc = StartRecord(s)) return rc;
  UnitBlock* const u = s.hold.unit();
  if (u->line_width >= PairText::kFieldsWidth) {
    // Both fields fit the empty record: PlaceReal would put them side by
    // side, and EndRecords reads nothing else of what it would set.
    if (formed != nullptr) {
      std::memcpy(u->pos, formed, PairText::kFieldsWidth);
    } else {
      uint32_t bits[2];
      std::memcpy(&bits[0], x, sizeof bits[0]);
      std::memcpy(&bits[1], y, sizeof bits[1]);
      RealText::to_list_field(bits[0], u->pos);
      RealText::to_list_field(bits[1], u->pos + RealText::kFieldWidth);
    }
    u->pos += PairText::kFieldsWidth;
    s.at_record_start = false;
    return EndRecords(s);
  }
  if (const int rc = PlaceReal(s, OutItem{kTypeReal4, x, 4})) return rc;
  if (const int rc = PlaceReal(s, OutItem{kTypeReal4, y, 4})) return rc;
  return EndRecords(s);
}

// Whether records of `stride` bytes fit the unit: its line holds both
// fields and its terminator makes up the rest.
bool FormedFor(const UnitBlock* u, size_t stride) {
  char term[2];
  return u->line_width >= PairText::kFieldsWidth &&
         stride == PairText::kFieldsWidth + static_cast<size_t>(RecordTerminator(u, term));
}

// Whether the records of the statements that follow on the unit can go to
// it in runs (RecordsToNextWrite) as records of `stride` bytes, exactly as
// PairStatement would put them one by one: a buffered unit whose line holds
// both fields, past its first record (no truncation armed, no read-ahead),
// with the terminator of `stride`. Within a run StartRecord then never
// writes or grows: PutRecord keeps two allowances free, and the longest
// record StartRecord makes room for fits into them.
bool TakesRuns(const UnitBlock* u, size_t stride) {
  const size_t longest = std::max<size_t>(u->line_width, RealText::kFieldWidth) + kTerminatorRoom;
  return (u->flags & (kUnitBuffered | kUnitTruncateNext)) == kUnitBuffered &&
         u->readahead_len == 0 && longest <= 2 * static_cast<size_t>(u->allowance) &&
         FormedFor(u, stride);
}

// Where the text of a run of pair records comes from: formed ahead (`text`,
// record j at j * stride), or formed in place from the values.
struct PairSource {
  const float* first;
  const float* second;
  const char* text;  // null: formed in place
  size_t stride;     // of the records in `text`
};

// The statements j, j + 1, ... of pairs, as many as the unit takes in one
// run (at least one, at most `left`): *done receives their count. Returns 0
// or an error, as the statement that failed.
int PairRun(Statement& s, const PairSource& src, int64_t j, int64_t left, int64_t* done) {
  UnitBlock* const u = s.hold.unit();
  char term[2];
  const int term_length = RecordTerminator(u, term);
  const size_t stride = PairText::kFieldsWidth + static_cast<size_t>(term_length);
  // Text formed for another terminator is not used: the values are formed
  // again.
  const char* from = src.text != nullptr && src.stride == stride
                         ? src.text + static_cast<size_t>(j) * stride
                         : nullptr;
  if (!TakesRuns(u, stride)) {
    *done = 1;
    const char* fields = from != nullptr && FormedFor(u, stride) ? from : nullptr;
    return PairStatement(s, &src.first[j], &src.second[j], fields);
  }
  if (const int rc = StartRecord(s)) return rc;
  char* const base = u->record_start;
  const size_t n = std::min(static_cast<size_t>(left), RecordsToNextWrite(u, stride));
  if (from == nullptr)
    PairText::form(&src.first[j], &src.second[j], static_cast<int64_t>(n), term, term_length, base);
  *done = static_cast<int64_t>(n);
  const int rc = PutRecordRun(u, from, stride, n);
  // What EndRecords leaves behind after the last record of the run.
  u->record_end = base + n * stride - term_length;
  u->record_start = u->pos = RecordBase(u);
  return rc == 0 ? 0 : Code(Msg::kWriteFailed);
}

// Runs `count` statements of pairs from `src` on `unit`, as write_real_pairs
// describes.
int WritePairs(int unit, unsigned flags, const PairSource& src, int64_t count) {
  for (int64_t j = 0; j < count;) {
    // The first statement of a run takes the unit the general way, with
    // the implicit connection and every check; the statements after it run
    // on the held unit until a console event waits for its release.
    const OutItem x{kTypeReal4, &src.first[j], 4};
    if (const int rc = begin(unit, flags, &x, true)) return rc;
    Statement& s = g_statement;
    if (!s.hold.held()) return s.failed;
    const OutItem y{kTypeReal4, &src.second[j], 4};
    if (const int rc = PlaceReal(s, y)) return Fail(s, rc);
    if (const int rc = EndRecords(s)) return Fail(s, rc);
    for (++j; j < count && !PendingActionWaiting();) {
      int64_t done = 0;
      if (const int rc = PairRun(s, src, j, count - j, &done)) return Fail(s, rc);
      j += done;
    }
    ReleaseStatement(s);
  }
  return 0;
}

}  // namespace

int write_real_pairs(int unit, unsigned flags, const float* first, const float* second,
                     int64_t count) {
  return WritePairs(unit, flags, PairSource{first, second, nullptr, 0}, count);
}

int formed_pair_terminator(int unit, char term[2], bool* buffered) {
  StatementUnit held(unit, kErrStatusWanted);
  if (!held.held()) return -1;
  const UnitBlock* const u = held.unit();
  if (!(u->flags & kUnitConnected) || WriteCheck(u) != 0 || u->line_width < PairText::kFieldsWidth)
    return -1;
  *buffered = (u->flags & kUnitBuffered) != 0;
  return RecordTerminator(u, term);
}

int write_formed_pairs(int unit, unsigned flags, const float* first, const float* second,
                       const char* text, int term_length, int64_t count) {
  const size_t stride = PairText::kFieldsWidth + static_cast<size_t>(term_length);
  return WritePairs(unit, flags, PairSource{first, second, text, stride}, count);
}

int begin(int unit, unsigned flags, const OutItem* first, bool more) {
  StatementUnit held(unit, flags);
  if (!held.held()) {
    // A statement still in progress on this thread keeps its state.
    if (!g_statement.hold.held()) g_statement.failed = held.status();
    return held.status();
  }
  return BeginHeld(static_cast<StatementUnit&&>(held), first, more);
}

int put(const OutItem& item, bool more) {
  Statement& s = g_statement;
  if (!s.hold.held()) return s.failed;
  return Continue(s, &item, more);
}

}  // namespace ListWriter

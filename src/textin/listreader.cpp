// List-directed input statements: the unit held for the statement, its first
// record, and each item (scalar or array in storage order) element by element.
#include "textin/listreader.h"

#include <cerrno>

#include "runtime/msg.h"
#include "runtime/statement.h"
#include "runtime/units.h"
#include "textin/listassign.h"
#include "textin/listfast.h"
#include "textin/listvalues.h"
#include "textin/records.h"

namespace ListReader {
namespace {

constexpr int kMaxRank = 7;

// Work buffer for quoted text (and for a complex real part that must outlive
// its record); one per thread, since a statement holds its unit's lock.
thread_local char t_work[kListWorkSize];

// What Assign gives for an element without storage: 0 for a null value or
// a number taken by REAL(4) or INTEGER(4), 64 otherwise.
int CheckUnstored(const ListScanState& st, int type) {
  if (st.value_flags & kValNull) return 0;
  if (!(st.value_flags & kValNumeric)) return Code(Msg::kConversion);
  return type == kTypeReal4 || type == kTypeInt32 ? 0 : Code(Msg::kConversion);
}

// One list element: a pending repeat, or the next value. Returns 0 (also
// when a slash ends the list) or an error number.
inline int ReadElement(ListScanState& st, int type, void* elem) {
  if (st.repeat_count >= 1) {
    --st.repeat_count;
    return ListAssign::Assign(st, type, elem);
  }
  if (type == kTypeReal4 && elem != nullptr) return ListFast::ReadRealElement(st, elem);
  int err = ListValues::NextValue(st);
  if (err != 0 || (st.scan_flags & kScanSlash)) return err;
  return elem == nullptr ? CheckUnstored(st, type) : ListAssign::Assign(st, type, elem);
}

// The elements of a rank-1 array item with `count` (at least one) elements
// `stride` bytes apart from `elem`. Returns 0 or an error number.
int ReadVector(ListScanState& st, int type, char* elem, int64_t count, int64_t stride) {
  if (type == kTypeReal4 && elem != nullptr)
    return ListFast::ReadRealVector(st, elem, count, stride);
  for (int64_t i = 0; i < count; ++i, elem += stride) {
    int err = ReadElement(st, type, elem);
    if (err != 0 || (st.scan_flags & kScanSlash)) return err;
  }
  return 0;
}

// The elements of an array item in storage order (first index fastest).
// Returns 0 or an error number.
int ReadArray(ListScanState& st, const InItem& item) {
  if (item.rank == 1) {
    const int64_t count = item.dims[0].upper - item.dims[0].lower + 1;
    if (count <= 0) return 0;
    return ReadVector(st, item.type, static_cast<char*>(item.base), count, item.dims[0].stride);
  }
  int rank = item.rank > kMaxRank ? kMaxRank : item.rank;
  int64_t extent[kMaxRank], index[kMaxRank];
  for (int d = 0; d < rank; ++d) {
    extent[d] = item.dims[d].upper - item.dims[d].lower + 1;
    if (extent[d] <= 0) return 0;
    index[d] = 0;
  }
  char* elem = static_cast<char*>(item.base);
  for (;;) {
    int err = ReadElement(st, item.type, elem);
    if (err != 0 || (st.scan_flags & kScanSlash)) return err;
    int d = 0;
    for (; d < rank; ++d) {
      elem += item.dims[d].stride;
      if (++index[d] < extent[d]) break;
      elem -= extent[d] * item.dims[d].stride;
      index[d] = 0;
    }
    if (d == rank) return 0;
  }
}

// Checks that `unit` can take a list-directed read, connecting a
// preconnected unit at its first use. Returns 0 or an error number.
int CheckUnit(UnitBlock* unit) {
  if (!(unit->flags & kUnitConnected)) {
    if (!(unit->flags & kUnitPreconnected)) {
      unit->last_error = EBADF;
      return Code(Msg::kReadFailed);
    }
    int err = ConnectDefaultUnit(unit);
    if (err != 0) return err;
  }
  if (unit->flags & kUnitUnformatted) return Code(Msg::kUnformattedUnit);
  if (unit->flags & kUnitDirect) return Code(Msg::kDirectUnit);
  return 0;
}

// Whether the items take no element at all: arrays without elements only.
// An empty list is not such a statement: it skips one record.
bool TakesNoElement(const InItem* items) {
  if (items->type == kTypeEnd) return false;
  for (const InItem* item = items; item->type != kTypeEnd; ++item) {
    if (item->rank == 0) return false;
    bool empty = false;
    for (int d = 0; d < item->rank && d < kMaxRank; ++d)
      empty = empty || item->dims[d].upper < item->dims[d].lower;
    if (!empty) return false;
  }
  return true;
}

// One statement on the held `unit`: the first record, then every item.
// Returns 0 (also when a slash ended the list) or an error number; the unit
// stays held either way.
int ReadHeld(UnitBlock* unit, const InItem* items, Progress* progress) {
  int err = CheckUnit(unit);
  if (err == 0) err = FetchRecord(unit, true);
  if (err != 0) return err;
  ListScanState st;
  st.unit = unit;
  st.work = t_work;
  st.record_flags = kRecNew;
  st.progress = progress;
  // A statement that takes no element still needs a value to stand at: blank
  // records up to the end of the file are an end of file, as for an empty
  // file, and not a statement that succeeds without having read.
  if (TakesNoElement(items)) return ListValues::SkipToValue(st);
  for (const InItem* item = items; item->type != kTypeEnd; ++item) {
    err = item->rank == 0 ? ReadElement(st, item->type, item->base) : ReadArray(st, *item);
    if (err != 0) return err;
    if (st.scan_flags & kScanSlash) break;
  }
  return 0;
}

}  // namespace

int read(int number, unsigned flags, const InItem* items, Progress* progress) {
  StatementUnit statement(number, flags);
  if (!statement.held()) return statement.status();
  if (const int err = ReadHeld(statement.unit(), items, progress)) return statement.Fail(err);
  return statement.Done();
}

int64_t count_reads(int number, unsigned flags, const InItem* items) {
  flags |= kEndStatusWanted;
  int64_t count = 0;
  for (;;) {
    StatementUnit statement(number, flags & ~kErrStatusWanted);
    if (!statement.held()) return count;  // reported without the error status: the run has ended
    // Statements that succeed keep the unit; a failure gives it up, and so
    // does a console event waiting for the end of the statements.
    UnitBlock* const unit = statement.unit();
    const bool plain_records =
        (flags & kErrStatusWanted) && ListFast::IsUnstoredNumberItem(items) &&
        (unit->flags & kUnitConnected) && !(unit->flags & (kUnitUnformatted | kUnitDirect));
    int err = 0;
    for (;;) {
      if (plain_records) count += ListFast::CountValueRecords(unit);
      if ((err = ReadHeld(unit, items, nullptr)) != 0) break;
      ++count;
      if (PendingActionWaiting()) break;
    }
    if (err == 0) continue;  // the unit is handed back as `statement` ends
    // A value that fails (59, 64) has used up its record and counts. A
    // failure of the file or the unit (a read that failed, a buffer that
    // cannot grow) would only come back at the next statement, or skip a
    // record unseen: it is reported as without kErrStatusWanted.
    const bool value_error = err == Code(Msg::kListSyntax) || err == Code(Msg::kConversion);
    statement.set_flags(value_error ? flags : flags & ~kErrStatusWanted);
    const int ios = statement.Fail(err);
    if (ios == kStatusEndOfFile || !value_error) return count;
    ++count;
  }
}

}  // namespace ListReader

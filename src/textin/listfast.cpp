// The fast paths of list-directed input: a REAL(4) element whose plain
// decimal goes straight to its conversion, and the count over whole records.
#include "textin/listfast.h"

#include <bit>
#include <cstring>

#include "textin/decimal.h"
#include "textin/listassign.h"
#include "textin/records.h"

namespace ListFast {
namespace {

#if defined(__SSE2__)
// The bytes of 64 at p, one bit each: terminators, bytes that are neither
// blanks nor terminators, and quotes and opening parentheses.
struct RecordMasks {
  uint64_t ends, values, special;
};

inline RecordMasks ClassifyRecords(const char* p, char term) {
  RecordMasks m{0, 0, 0};
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const unsigned ends = MatchBytes(b, term);
    const unsigned blanks =
        MatchBytes(b, ' ') | MatchBytes(b, '\t') | MatchBytes(b, '\r') | MatchBytes(b, '\n');
    const unsigned special = MatchBytes(b, '\'') | MatchBytes(b, '"') | MatchBytes(b, '(');
    m.ends |= uint64_t{ends} << (16 * i);
    m.values |= uint64_t{~(blanks | ends) & 0xFFFFu} << (16 * i);
    m.special |= uint64_t{special & ~ends} << (16 * i);
  }
  return m;
}

// Bits i..63 (none for i = 64).
inline uint64_t BitsFrom(int i) { return i >= 64 ? 0 : ~uint64_t{0} << i; }

// Where the count's run stands: offsets from the read-ahead's start.
struct CountRun {
  int64_t statements = 0;
  uint64_t records = 0, pending_records = 0;  // fetched; blank ones not yet taken by a statement
  size_t last_start = 0, last_end = 0;        // the last record of the last statement
  size_t record_start = 0;                    // of the record being scanned
  bool value = false;                         // in that record so far
};

// The usual block at once: no quote or parenthesis in it, and every record
// that ends in it holds a value (the first one in its part before this
// block or in a byte of it, each later one in its first byte). Each such
// record is a statement. Takes them into *run and returns the bit after
// the block's last terminator; returns 0 with nothing taken when the block
// needs the record-by-record scan. `ends` are the block's terminators
// inside the read-ahead, `off` the block's offset.
inline int TakeValueRecords(const RecordMasks& m, uint64_t ends, size_t off, CountRun* run) {
  if (ends == 0 || m.special != 0) return 0;
  const int last = 63 - std::countl_zero(ends);
  const uint64_t earlier = ends & ~(uint64_t{1} << last);  // terminators before the last
  const uint64_t first_record = (ends & -ends) - 1;        // bytes before the first terminator
  if (!(run->value || (m.values & first_record) != 0) || ((earlier << 1) & ~m.values) != 0)
    return 0;
  const int count = std::popcount(ends);
  run->statements += count;
  run->records += run->pending_records + static_cast<uint64_t>(count);
  run->pending_records = 0;
  run->last_start =
      earlier != 0 ? off + static_cast<size_t>(64 - std::countl_zero(earlier)) : run->record_start;
  run->last_end = off + static_cast<size_t>(last);
  run->record_start = run->last_end + 1;
  run->value = false;
  return last + 1;
}
#endif

// The common element at once: the current record used up and the next one
// short and whole in the read-ahead, its first byte the start of a plain
// decimal that the plain-decimal conversion takes. Stores the value and
// leaves the statement and the unit as the full route leaves them (the
// record fetched, the value found, scanned and ended); returns false with
// nothing changed otherwise.
[[gnu::always_inline]] inline bool ReadRecordValue(ListScanState& st, void* elem) {
#if defined(__SSE2__)
  UnitBlock* const u = st.unit;
  if (u->pos != u->record_end) return false;
  char* const term = ShortRecordEnd(u);
  if (term == nullptr) return false;
  // ShortRecordEnd found 16 readable bytes at the read-ahead.
  char* const start = u->readahead;
  const char* end = term;
  while (end > start && end[-1] == '\r') --end;
  NumberToken token;
  float f = 0;
  if (start == end || !PlainTokenInBlock(start, end, &token) ||
      !PlainTokenToSingle(start, token, u->buffer + u->capacity, &f))
    return false;
  SetShortRecord(u, term, true);
  // A value right at the record start leaves no separator state behind.
  st.record_flags = 0;
  st.separator_flags = static_cast<uint8_t>(st.separator_flags & ~kSepRecordEnd);
  st.value_seen = true;
  ListValues::SetNumericToken(st, token);
  st.saved_text[0] = st.token_text;
  st.saved_len[0] = st.token_len;
  std::memcpy(elem, &f, sizeof f);
  return true;
#else
  (void)st;
  (void)elem;
  return false;
#endif
}

// An element that takes the value of a pending repeat. Returns 0 or 64.
int ReadRepeated(ListScanState& st, void* elem) {
  --st.repeat_count;
  return ListAssign::Assign(st, kTypeReal4, elem);
}

// ReadRealElement after the one-step case (kept out of line, so that the
// one-step case needs no register saves).
[[gnu::noinline]] int ReadRealElementGeneral(ListScanState& st, void* elem) {
  // Mostly the last value used up its record and this one starts the next:
  // the first step of FindValue then goes here without a further call.
  if (st.unit->pos == st.unit->record_end) {
    int err = ListValues::NextRecord(st);
    if (err != 0) return err;
  }
  int err = ListValues::FindValue(st);
  if (err != 0) return err;
  if (!(st.value_flags & kValNull)) {
    // A value that starts with a digit or a sign is a number token whose
    // verdict goes on to the conversion; anything else is classified.
    NumberToken token{nullptr, nullptr, nullptr, TokenKind::kBad};
    const CharClass lead = ClassOf(*st.unit->pos);
    err = lead == kClsDigit || lead == kClsSign ? ListValues::ScanNumericToken(st, true, &token)
                                                : ListValues::ScanValue(st, true);
    if (err != 0) return err;
    float f = 0;
    if (token.kind == TokenKind::kPlain &&
        PlainTokenToSingle(st.token_text, token,
                           ListValues::ReadLimit(st.unit, st.token_text, token.end), &f)) {
      ListValues::EndValue(st);
      std::memcpy(elem, &f, sizeof f);
      return 0;
    }
  }
  ListValues::EndValue(st);
  if (st.scan_flags & kScanSlash) return 0;
  return ListAssign::Assign(st, kTypeReal4, elem);
}

// ReadRealElement in the caller's loop.
[[gnu::always_inline]] inline int ReadRealInLine(ListScanState& st, void* elem) {
  return ReadRecordValue(st, elem) ? 0 : ReadRealElementGeneral(st, elem);
}

}  // namespace

int ReadRealElement(ListScanState& st, void* elem) { return ReadRealInLine(st, elem); }

int ReadRealVector(ListScanState& st, char* elem, int64_t count, int64_t stride) {
  constexpr int64_t kProgressStep = 4096;  // elements between two reports of progress
  for (int64_t done = 0; done < count;) {
    const int64_t step_end = count - done > kProgressStep ? done + kProgressStep : count;
    for (; done < step_end; ++done, elem += stride) {
      int err = st.repeat_count < 1 ? ReadRealInLine(st, elem) : ReadRepeated(st, elem);
      if (err != 0 || (st.scan_flags & kScanSlash)) return err;
    }
    if (st.progress != nullptr) st.progress->Publish(done);
  }
  return 0;
}

bool IsUnstoredNumberItem(const InItem* items) {
  return items[0].rank == 0 && items[0].base == nullptr &&
         (items[0].type == kTypeReal4 || items[0].type == kTypeInt32) && items[1].type == kTypeEnd;
}

int64_t CountValueRecords(UnitBlock* unit) {
#if defined(__SSE2__)
  char* const first = unit->readahead;
  const size_t have = unit->readahead_len;
  const char* const buffer_end = unit->buffer + unit->capacity;
  if (first < unit->buffer || first > buffer_end) return 0;
  const char term = static_cast<char>(unit->terminator);
  CountRun run;
  for (size_t off = 0; off < have && buffer_end - (first + off) >= 64; off += 64) {
    const RecordMasks m = ClassifyRecords(first + off, term);
    const uint64_t inside = have - off >= 64 ? ~uint64_t{0} : (uint64_t{1} << (have - off)) - 1;
    uint64_t ends = m.ends & inside;
    int from = TakeValueRecords(m, ends, off, &run);  // first bit of the record being scanned
    if (from != 0) ends = 0;
    while (ends != 0) {
      const int t = std::countr_zero(ends);
      const uint64_t record = BitsFrom(from) & ~BitsFrom(t);
      run.value = run.value || (m.values & record) != 0;
      if ((m.special & record) != 0) goto done;
      ++run.pending_records;
      if (run.value) {
        ++run.statements;
        run.records += run.pending_records;
        run.pending_records = 0;
        run.last_start = run.record_start;
        run.last_end = off + static_cast<size_t>(t);
      }
      run.record_start = off + static_cast<size_t>(t) + 1;
      run.value = false;
      from = t + 1;
      ends &= ends - 1;
    }
    run.value = run.value || (m.values & BitsFrom(from) & inside) != 0;
    // A record that holds a quote or a parenthesis ends the run: it can
    // complete no further statement, wherever it ends.
    if ((m.special & BitsFrom(from) & inside) != 0) goto done;
  }
done:
  if (run.statements == 0) return 0;
  const size_t consumed = run.last_end + 1;  // bytes of the statements run
  char* const start = first + run.last_start;
  char* end = first + run.last_end;
  while (end > start && end[-1] == '\r') --end;
  unit->record_start = start;
  unit->record_end = unit->pos = end;
  unit->readahead = first + consumed;
  unit->readahead_len = static_cast<uint32_t>(have - consumed);
  unit->file_position += static_cast<int64_t>(consumed);
  unit->record_counter += run.records;
  return run.statements;
#else
  (void)unit;
  return 0;
#endif
}

}  // namespace ListFast

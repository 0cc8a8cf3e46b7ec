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
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i quote = _mm_set1_epi8('"');  // the lowest of '"', '\'' and '('
  const __m128i quote_to_paren = _mm_set1_epi8('(' - '"');
  for (int i = 0; i < 4; ++i) {
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const unsigned ends = MatchBytes(b, term);
    // Blanks lie at or below ' ' and the special bytes between '"' and '(':
    // the exact comparisons only where a byte of either range is.
    const auto low =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(b, space), b)));
    unsigned blanks = 0;
    if ((low & ~ends) != 0)
      blanks = MatchBytes(b, ' ') | MatchBytes(b, '\t') | MatchBytes(b, '\r') | MatchBytes(b, '\n');
    const __m128i from_quote = _mm_sub_epi8(b, quote);
    const auto near = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(from_quote, quote_to_paren), from_quote)));
    unsigned special = 0;
    if (near != 0) special = MatchBytes(b, '\'') | MatchBytes(b, '"') | MatchBytes(b, '(');
    m.ends |= uint64_t{ends} << (16 * i);
    m.values |= uint64_t{~(blanks | ends) & 0xFFFFu} << (16 * i);
    m.special |= uint64_t{special & ~ends} << (16 * i);
  }
  return m;
}

// std::popcount in a few operations: without the population-count
// instruction, which the baseline processor lacks, it is a library call.
inline int CountBits(uint64_t x) {
  x = x - ((x >> 1) & 0x5555555555555555u);
  x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
  x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
  return static_cast<int>((x * 0x0101010101010101u) >> 56);
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
  const int count = CountBits(ends);
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

// The statement's state once a record's plain decimal `token` (at the
// record start, up to the record end) has been found, scanned and ended, as
// the full route leaves it.
[[gnu::always_inline]] inline void TakeRecordToken(ListScanState& st, const NumberToken& token) {
  // A value right at the record start leaves no separator state behind.
  st.record_flags = 0;
  st.separator_flags = static_cast<uint8_t>(st.separator_flags & ~kSepRecordEnd);
  st.value_seen = true;
  ListValues::SetNumericToken(st, token);
  st.saved_text[0] = st.token_text;
  st.saved_len[0] = st.token_len;
}

#if defined(__SSE2__)
// The record [start, term), 16 bytes readable at `start`, whose carriage
// returns before `term` are dropped (its end in *end): true, with the verdict
// of its first value and that value, when that value is a plain decimal that
// the plain-decimal conversion takes; `limit` bounds what may be read.
[[gnu::always_inline]] inline bool RecordStartsWithPlain(const char* start, const char* term,
                                                         const char* limit, const char** end,
                                                         NumberToken* token, float* value) {
  const char* e = term;
  while (e > start && e[-1] == '\r') --e;
  *end = e;
  return start != e && PlainTokenInBlock(start, e, token) &&
         PlainTokenToSingle(start, *token, limit, value);
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
  const char* end = nullptr;
  NumberToken token;
  float f = 0;
  if (!RecordStartsWithPlain(u->readahead, term, u->buffer + u->capacity, &end, &token, &f))
    return false;
  SetShortRecord(u, term, true);
  TakeRecordToken(st, token);
  std::memcpy(elem, &f, sizeof f);
  return true;
#else
  (void)st;
  (void)elem;
  return false;
#endif
}

// Up to `count` elements, `stride` bytes apart from `elem`, each as
// ReadRecordValue takes one, with the read-ahead kept in registers from
// record to record: the unit and the statement are set once, as the last
// element leaves them. Takes only records that the value fills. Returns how
// many were stored; stops at the first record it does not take.
int64_t ReadRecordRun(ListScanState& st, char* elem, int64_t stride, int64_t count) {
#if defined(__SSE2__)
  UnitBlock* const u = st.unit;
  if (u->pos != u->record_end || u->readahead < u->buffer) return 0;
  const char* const buffer_end = u->buffer + u->capacity;
  char* const first = u->readahead;
  char* ahead = first;
  size_t have = u->readahead_len;
  const __m128i term_bytes = _mm_set1_epi8(static_cast<char>(u->terminator));
  char* last = nullptr;  // the start of the last record taken
  int64_t done = 0;
  for (; done < count; ++done, elem += stride) {
    // As ShortRecordEnd: the terminator among 16 readable bytes, here all
    // of them read-ahead (the last few records of a read-ahead go the full
    // route).
    if (have < 16 || buffer_end - ahead < 16) break;
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ahead));
    const auto hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, term_bytes)));
    if (hits == 0) break;
    char* const term = ahead + std::countr_zero(hits);
    const char* end = nullptr;
    NumberToken token;
    float f = 0;
    // Only a value that fills its record: after one that does not, the next
    // value lies in the same record.
    if (!RecordStartsWithPlain(ahead, term, buffer_end, &end, &token, &f) || token.end != end)
      break;
    std::memcpy(elem, &f, sizeof f);
    last = ahead;
    have -= static_cast<size_t>(term + 1 - ahead);
    ahead = term + 1;
  }
  if (done == 0) return 0;
  // The records before the last one fetched; the last one then taken again,
  // its value aside, as ReadRecordValue takes it.
  u->file_position += last - first;
  u->record_counter += static_cast<uint64_t>(done - 1);
  u->readahead = last;
  u->readahead_len = static_cast<uint32_t>(have + static_cast<size_t>(ahead - last));
  char* const term = ShortRecordEnd(u);
  const char* end = nullptr;
  NumberToken token{nullptr, nullptr, nullptr, TokenKind::kBad};
  float f = 0;
  RecordStartsWithPlain(last, term, buffer_end, &end, &token, &f);  // as it did in the loop
  SetShortRecord(u, term, true);
  TakeRecordToken(st, token);
  return done;
#else
  (void)st;
  (void)elem;
  (void)stride;
  (void)count;
  return 0;
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
    while (done < step_end) {
      const int64_t run =
          st.repeat_count < 1 ? ReadRecordRun(st, elem, stride, step_end - done) : 0;
      done += run;
      elem += run * stride;
      if (done == step_end) break;
      // The element the run could not take goes the full route.
      const int err =
          st.repeat_count < 1 ? ReadRealElementGeneral(st, elem) : ReadRepeated(st, elem);
      if (err != 0 || (st.scan_flags & kScanSlash)) return err;
      ++done;
      elem += stride;
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

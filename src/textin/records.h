// Sequential text records: fetching the next record of a unit into its
// record buffer, with read-ahead and a buffer that grows without limit.
#pragma once
#include <bit>
#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/units.h"

// Fetches the next record of `unit`: sets record_start, pos and record_end
// and adds one to the record counter. `list_directed` drops every carriage
// return at the record end (otherwise only one before the terminator).
// Returns 0, 24 (end of file), 39 (read failed) or 98 (buffer cannot grow).
int FetchRecord(UnitBlock* unit, bool list_directed);

// The terminator that ends a short record at the start of the read-ahead,
// found with one 16-byte vector compare; null when the read-ahead is empty,
// does not lie in the buffer with 16 bytes after its start, or holds no
// terminator in its first 16 bytes. FetchRecord's first step.
inline char* ShortRecordEnd(const UnitBlock* unit) {
#if defined(__SSE2__)
  const size_t have = unit->readahead_len;
  char* ahead = unit->readahead;
  if (have == 0 || ahead < unit->buffer || unit->buffer + unit->capacity - ahead < 16)
    return nullptr;
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ahead));
  // The usual terminator from a constant rather than spread from its byte.
  const __m128i term = unit->terminator == '\n'
                           ? _mm_set1_epi8('\n')
                           : _mm_set1_epi8(static_cast<char>(unit->terminator));
  unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, term)));
  if (have < 16) hits &= (1u << have) - 1;  // bytes past the read-ahead never count
  return hits != 0 ? ahead + std::countr_zero(hits) : nullptr;
#else
  (void)unit;
  return nullptr;
#endif
}

// Makes [start, term) the current record and keeps [next, next + left) as
// read-ahead, as FetchRecord does. Drops the carriage returns before the
// terminator.
inline void SetRecord(UnitBlock* unit, char* start, char* term, char* next, size_t left,
                      bool list_directed) {
  char* end = term;
  if (list_directed) {
    while (end > start && end[-1] == '\r') --end;
  } else if (unit->terminator == '\n' && end > start && end[-1] == '\r') {
    --end;
  }
  unit->record_start = start;
  unit->pos = start;
  unit->record_end = end;
  unit->readahead = next;
  unit->readahead_len = static_cast<uint32_t>(left);
  unit->file_position += next - start;
  unit->record_counter += 1;
}

// SetRecord for the record that `term` (from ShortRecordEnd) ends at the
// start of the read-ahead.
inline void SetShortRecord(UnitBlock* unit, char* term, bool list_directed) {
  char* const ahead = unit->readahead;
  SetRecord(unit, ahead, term, term + 1,
            unit->readahead_len - static_cast<size_t>(term + 1 - ahead), list_directed);
}

// Record fetch for sequential text units: finds the next terminator in the
// read-ahead or in freshly read blocks and leaves the record in place.
#include "textin/records.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "runtime/msg.h"
#include "runtime/platform/file.h"
#include "runtime/platform/memory.h"
#include "runtime/units.h"

namespace {

constexpr int32_t kMaxCapacity = INT32_MAX;

// Makes [start, term) the current record and keeps [next, next + left) as
// read-ahead. Drops the carriage returns before the terminator.
void SetRecord(UnitBlock* unit, char* start, char* term, char* next, size_t left,
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

// Leaves the unit with an empty current record and `pending` bytes of
// read-ahead at the buffer start (after end of file or a failed read).
void SetNoRecord(UnitBlock* unit, size_t pending) {
  unit->record_start = unit->pos = unit->record_end = unit->buffer;
  unit->readahead = unit->buffer;
  unit->readahead_len = static_cast<uint32_t>(pending);
}

// Doubles the buffer (or obtains a first one) through GrowUnitBuffer.
// Returns 0 or 98.
int DoubleBuffer(UnitBlock* unit) {
  if (unit->capacity > kMaxCapacity / 2) return Code(Msg::kNoBufferMemory);
  int32_t bigger = unit->buffer != nullptr ? unit->capacity * 2 : unit->capacity;
  if (bigger < 8192) bigger = 8192;
  if (!GrowUnitBuffer(unit, static_cast<size_t>(bigger))) return Code(Msg::kNoBufferMemory);
  return 0;
}

// The terminator that ends a short record at the start of the read-ahead,
// found with one 16-byte vector compare; null when the read-ahead is empty,
// does not lie in the buffer with 16 bytes after its start, or holds no
// terminator in its first 16 bytes.
char* ShortRecordEnd(const UnitBlock* unit) {
#if defined(__SSE2__)
  const size_t have = unit->readahead_len;
  char* ahead = unit->readahead;
  if (have == 0 || ahead < unit->buffer || unit->buffer + unit->capacity - ahead < 16)
    return nullptr;
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ahead));
  unsigned hits = static_cast<unsigned>(
      _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(static_cast<char>(unit->terminator)))));
  if (have < 16) hits &= (1u << have) - 1;  // bytes past the read-ahead never count
  return hits != 0 ? ahead + std::countr_zero(hits) : nullptr;
#else
  (void)unit;
  return nullptr;
#endif
}

// FetchRecord for every case: a terminator anywhere in the read-ahead, or
// else the read-ahead moved to the buffer start and blocks read after it,
// growing the buffer as needed. Kept out of line so that the short-record
// case needs no register saves.
[[gnu::noinline]] int FetchRecordGeneral(UnitBlock* unit, bool list_directed) {
  const char term = static_cast<char>(unit->terminator);
  size_t have = unit->readahead_len;
  if (have != 0) {
    char* ahead = unit->readahead;
    char* hit = static_cast<char*>(std::memchr(ahead, term, have));
    if (hit != nullptr) {
      SetRecord(unit, ahead, hit, hit + 1, have - static_cast<size_t>(hit + 1 - ahead),
                list_directed);
      return 0;
    }
    if (ahead != unit->buffer) std::memmove(unit->buffer, ahead, have);
  }
  // The pending bytes now sit at the buffer start and hold no terminator.
  for (;;) {
    if (unit->buffer == nullptr || have >= static_cast<size_t>(unit->capacity)) {
      int err = DoubleBuffer(unit);
      if (err != 0) {
        SetNoRecord(unit, have);
        return err;
      }
    }
    size_t got = 0;
    int err =
        Sys::Read(unit->fd, unit->buffer + have, static_cast<size_t>(unit->capacity) - have, &got);
    if (err != 0) {
      // A closed pipe on standard input reads as the end of the input.
      if (!(err == EPIPE && unit->fd == 0)) {
        unit->last_error = err;
        SetNoRecord(unit, have);
        return Code(Msg::kReadFailed);
      }
      got = 0;
    }
    if (got == 0) {
      if (have == 0) {
        SetNoRecord(unit, 0);
        return Code(Msg::kEndOfFile);
      }
      // The last line without a terminator is a record of its own.
      char* start = unit->buffer;
      SetRecord(unit, start, start + have, start + have, 0, list_directed);
      return 0;
    }
    char* fresh = unit->buffer + have;
    char* hit = static_cast<char*>(std::memchr(fresh, term, got));
    have += got;
    if (hit != nullptr) {
      char* start = unit->buffer;
      SetRecord(unit, start, hit, hit + 1, have - static_cast<size_t>(hit + 1 - start),
                list_directed);
      return 0;
    }
  }
}

}  // namespace

int FetchRecord(UnitBlock* unit, bool list_directed) {
  char* const ahead = unit->readahead;
  if (char* hit = ShortRecordEnd(unit)) {
    SetRecord(unit, ahead, hit, hit + 1, unit->readahead_len - static_cast<size_t>(hit + 1 - ahead),
              list_directed);
    return 0;
  }
  return FetchRecordGeneral(unit, list_directed);
}

// Record fetch for sequential text units: finds the next terminator in the
// read-ahead or in freshly read blocks and leaves the record in place.
#include "textin/records.h"

#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "runtime/msg.h"
#include "runtime/platform/file.h"
#include "runtime/platform/memory.h"
#include "runtime/units.h"

namespace {

constexpr int32_t kMaxCapacity = INT32_MAX;

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
  if (char* hit = ShortRecordEnd(unit)) {
    SetShortRecord(unit, hit, list_directed);
    return 0;
  }
  return FetchRecordGeneral(unit, list_directed);
}

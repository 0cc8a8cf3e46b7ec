// The message catalogue: number, severity and built-in text of every message
// of the run-time, and the severity prefixes.
#pragma once
#include <cstddef>
#include <cstdint>

#include "runtime/msg.h"

enum Severity : uint8_t {
  kSevNone = 0,
  kSevInfo = 1,
  kSevWarning = 2,
  kSevError = 3,
  kSevSevere = 4,
};

struct MessageRow {
  uint32_t number;
  uint8_t severity;
  const char* text;
};

namespace MessageCatalogue {

// The row of `number` (taken modulo 65536), or null when there is none.
const MessageRow* Find(unsigned number);
inline const MessageRow* Find(Msg m) { return Find(static_cast<unsigned>(Code(m))); }

// The whole table in ascending number order.
const MessageRow* Rows();
size_t RowCount();

// The prefix format of `severity` 0..4 ("dravel: severe (%i): " ...);
// severities above 4 get the severe prefix.
const char* Prefix(int severity);

// The bare prefix word ("dravel").
const char* PrefixWord();

// The caption of a message window (row 505).
const char* Caption();

// Ends the use of a message library. There is none on this platform: the
// built-in texts always serve, so this only exists for the run-time finish.
void Close();

}  // namespace MessageCatalogue

// The run-time finish's name for MessageCatalogue::Close.
void CloseMessageCatalogue();

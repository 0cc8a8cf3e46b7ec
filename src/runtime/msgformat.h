// Text formatting of messages: the argument of a message text and the
// printf-like formatter that fills a text's conversions in.
#pragma once
#include <cstddef>
#include <cstdint>

// One argument of a catalogue text: an integer (%d %i %u %ld %lx) or a text
// (%s) given by start and length (length < 0: up to its NUL).
struct MsgArg {
  int64_t i = 0;
  const char* s = nullptr;
  int64_t len = -1;
  MsgArg(int v) : i(v) {}
  MsgArg(long v) : i(v) {}
  MsgArg(long long v) : i(v) {}
  MsgArg(unsigned v) : i(v) {}
  MsgArg(unsigned long v) : i(static_cast<int64_t>(v)) {}
  MsgArg(const char* text, int64_t length = -1) : s(text), len(length) {}
};

// Formats `format` with `args` into out[0..capacity), cutting what does not
// fit. Conversions: %d %i %u %x %X %s %c %% with the flags '-' and '0', a
// width, a precision and the length modifiers l, ll, h. A missing argument
// counts as 0 or as the empty text; an integer given for %s prints in
// decimal, a text given for an integer prints 0. Returns the length written (no NUL
// is added). Async-signal-safe.
size_t FormatText(char* out, size_t capacity, const char* format, const MsgArg* args,
                  size_t arg_count);

// Run-time diagnostics: formatting and writing a catalogue message with its
// traceback, the failure path of input/output statements, and the exit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "runtime/msg.h"

struct UnitBlock;

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

// Formats and writes the diagnostic of catalogue row `number`. Returns the
// number for severities 0..3; a severe (4) message ends the process with the
// number as exit status (it returns only while a debugger continues).
int ReportMessage(unsigned number, std::initializer_list<MsgArg> args = {});
inline int ReportMessage(Msg m, std::initializer_list<MsgArg> args = {}) {
  return ReportMessage(static_cast<unsigned>(Code(m)), args);
}

// Failure path of a statement on `unit` (may be null), which is first
// finished as `disposal` says.
// Returns the status for the statement when `flags` asks for it (the number,
// or -1 / -2 for end of file / end of record); otherwise reports and, for a
// severe message, does not return.
int ReportIoError(Disposal disposal, int error_number, int message_number, UnitBlock* unit,
                  unsigned flags);

// ReportIoError for a statement that has no unit block (the unit number was
// refused, as 32 for a number below -5): the text shows `unit_number` and
// the file "Unknown". Same return as ReportIoError.
int ReportUnitNumberError(int error_number, int unit_number, unsigned flags);

// Shorthand: ReportIoError that releases the unit, with message = error.
inline int FailStatement(UnitBlock* unit, int error, unsigned flags) {
  return ReportIoError(Disposal::kRelease, error, error, unit, flags);
}

// The formatted text of row `number` without prefix, in a process-wide
// buffer of 256 bytes.
const char* MessageText(unsigned number, std::initializer_list<MsgArg> args = {});

// End-of-run processing: closes the units (once), releases the traceback
// context and returns the stored exit status. Runs at most once in full.
int ExitProcessing();

// The exit status that ExitProcessing returns (0 unless a floating-point
// exception report stored its row number).
void SetStoredExitStatus(int status);
int StoredExitStatus();

// Floating-point trap counts reported by ExitProcessing as info messages
// (rows 300, 298, 299, 297, 296). `option_word` bits 8..12 enable the count of
// overflow, underflow, divide-by-zero, invalid and inexact traps.
void SetFloatTrapCounting(unsigned option_word);
// Counts one trap of the floating row 72, 74, 73, 65 or 140 when its count
// is enabled; returns whether it was counted.
bool CountFloatTrap(unsigned row);

// True when a debugger is attached: the system says so, or the switch
// VELD__IS_DEBUGGER_PRESENT or VELD_DEBUGGER_IS_PRESENT is on.
bool DebuggerAttached();

// Claims the ending of the process for the calling thread. Returns false when
// another thread is already ending it (the caller must then not go on as if
// it were the last word: see Sys::ParkThread).
bool ClaimProcessEnd();

// True once some thread of this process (the calling one included) claimed
// the ending of the process.
bool ProcessEndClaimed();

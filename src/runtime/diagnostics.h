// Run-time diagnostics: formatting and writing a catalogue message with its
// traceback, and the exit processing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "runtime/msg.h"
#include "runtime/msgformat.h"

// Formats and writes the diagnostic of catalogue row `number`. Returns the
// number for severities 0..3; a severe (4) message ends the process with the
// number as exit status (it returns only while a debugger continues).
int ReportMessage(unsigned number, std::initializer_list<MsgArg> args = {});
inline int ReportMessage(Msg m, std::initializer_list<MsgArg> args = {}) {
  return ReportMessage(static_cast<unsigned>(Code(m)), args);
}

// ReportMessage with the arguments as an array.
int ReportMessage(unsigned number, const MsgArg* args, size_t count);

// The text of row `number` with `args` filled in, without prefix, into
// out[0..capacity) (cut to fit, no NUL). Returns its length.
size_t FormatMessage(unsigned number, const MsgArg* args, size_t count, char* out, size_t capacity);

// Writes the line "dravel: <system text>" of the system error code `error`.
void WriteSystemErrorLine(int error);

// The formatted text of row `number` without prefix, in a process-wide
// buffer of 256 bytes.
const char* MessageText(unsigned number, std::initializer_list<MsgArg> args = {});

// End-of-run processing: reports the trap counts, releases the traceback
// context, closes the units through the hook (once) and returns the stored
// exit status. Runs at most once in full.
int ExitProcessing();

// The hook with which ExitProcessing closes the units; start-up registers it.
void SetUnitsClosingHook(void (*close_units)());

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

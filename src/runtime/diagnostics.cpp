// Run-time diagnostics: the report of a catalogue message (line, traceback,
// log file, console), the text of a message, and the exit processing. The report path allocates
// nothing and calls only async-signal-safe services, so the fault handlers use it.
#include "runtime/diagnostics.h"

#include <atomic>

#include "runtime/catalogue.h"
#include "runtime/msg.h"
#include "runtime/traceback.h"
#include "runtime/platform/env.h"
#include "runtime/platform/file.h"
#include "runtime/platform/process.h"

namespace {

// A catalogue text is at most this long before its arguments are filled in.
constexpr size_t kTextLimit = 393;
// Room for a formatted text: the row, a file name of 256 characters and the
// record position.
constexpr size_t kFormattedSize = 1024;
// The smaller buffer used when the report buffer cannot be had holds the
// text and this much more (the prefix with a number of up to ten digits and
// the line end).
constexpr size_t kFallbackExtra = 34;
constexpr size_t kFallbackSize = 512;
constexpr size_t kMessageTextSize = 256;

const char kNotFoundText[] = "Message not found\n";

std::atomic<int> g_stored_status{0};
std::atomic<bool> g_exit_done{false};
std::atomic<bool> g_stderr_checked{false};
// The thread ending the process, as process id (high half) and thread id
// (low half); a value left by the parent of a forked child is stale.
constinit std::atomic<uint64_t> g_ending_thread{0};

char g_message_text[kMessageTextSize];
// Closes the units at the end of the run; registered at start-up.
void (*g_close_units)() = nullptr;

// Trap counts: enabled bits and counts, indexed by TrapIndex.
enum TrapIndex {
  kTrapOverflow,
  kTrapUnderflow,
  kTrapDivide,
  kTrapInvalid,
  kTrapInexact,
  kTrapKinds
};
unsigned g_trap_enabled = 0;
std::atomic<unsigned> g_trap_counts[kTrapKinds];

int TrapIndexOf(unsigned row) {
  switch (row) {
    case Code(Msg::kFloatOverflow): return kTrapOverflow;
    case Code(Msg::kFloatUnderflow): return kTrapUnderflow;
    case Code(Msg::kFloatDivide): return kTrapDivide;
    case Code(Msg::kFloatInvalid): return kTrapInvalid;
    case Code(Msg::kFloatInexact): return kTrapInexact;
    default: return -1;
  }
}

uint64_t ThisThreadKey() {
  return (static_cast<uint64_t>(Sys::CurrentProcessId()) << 32) |
         static_cast<uint32_t>(Sys::CurrentThreadId());
}

bool SameProcess(uint64_t key) {
  return (key >> 32) == static_cast<uint64_t>(Sys::CurrentProcessId());
}

bool EndingElsewhere() {
  uint64_t owner = g_ending_thread.load();
  return owner != 0 && SameProcess(owner) && owner != ThisThreadKey();
}

// The row's severity and text; an unknown number gets the text of row 500
// followed by a line feed, with that row's severity.
void ShapeMessage(unsigned number, int* severity, const char** text, size_t* length) {
  const MessageRow* row = MessageCatalogue::Find(number);
  if (!row) {
    *severity = MessageCatalogue::Find(Msg::kNotFound)->severity;
    *text = kNotFoundText;
    *length = sizeof kNotFoundText - 1;
    return;
  }
  *severity = row->severity;
  *text = row->text;
  size_t n = 0;
  while (row->text[n] && n < kTextLimit - 1) ++n;
  *length = n;
}

// The text of the message with its arguments filled in (the plain text when
// there are none). Returns the length.
size_t FormatMessageText(unsigned number, const MsgArg* args, size_t count, char* out,
                         size_t capacity, int* severity) {
  const char* text;
  size_t length;
  ShapeMessage(number, severity, &text, &length);
  if (count == 0) {
    size_t n = length < capacity ? length : capacity;
    for (size_t i = 0; i < n; ++i) out[i] = text[i];
    return n;
  }
  char shaped[kTextLimit];
  for (size_t i = 0; i < length; ++i) shaped[i] = text[i];
  shaped[length] = '\0';
  return FormatText(out, capacity, shaped, args, count);
}

// The first report of the process sends standard error to VELD0, if set.
void EnsureStderrTarget() {
  if (g_stderr_checked.exchange(true)) return;
  const char* path = Sys::GetEnv("VELD0");
  if (path && *path) Sys::ReopenStderrAppend(path);
}

// Builds "prefix text\r\n" into out, the prefix of the severity carrying
// the number. Returns the length, cut at capacity.
size_t BuildLine(char* out, size_t capacity, int severity, unsigned number, const char* text,
                 size_t text_len) {
  char prefix[48];
  const MsgArg number_arg[] = {MsgArg(number)};
  size_t prefix_len =
      FormatText(prefix, sizeof prefix, MessageCatalogue::Prefix(severity), number_arg, 1);
  const MsgArg parts[] = {MsgArg(prefix, static_cast<int64_t>(prefix_len)),
                          MsgArg(text, static_cast<int64_t>(text_len))};
  return FormatText(out, capacity, "%s%s\r\n", parts, 2);
}

// Writes a finished report to the log file and to the console.
void WriteOut(const char* report, size_t length) {
  const char* log = Sys::GetEnv("VELD_DIAGNOSTIC_LOG_FILE");
  if (log && *log) Sys::AppendToFile(log, report, length);  // skipped silently on failure
  if (!Sys::EnvSwitch("VELD_DISABLE_DIAGNOSTIC_DISPLAY")) Sys::WriteStderr(report, length);
}

bool TracebackWanted(int severity, unsigned number, const TracebackContext* ctx) {
  bool kind = severity == kSevSevere || severity == kSevError ||
              (number >= Code(Msg::kTracebackFirst) && number <= Code(Msg::kTracebackLast)) ||
              (ctx && ctx->continue_flag);
  return kind && ctx && !Sys::EnvSwitch("VELD_DISABLE_STACK_TRACE");
}

// Writes the report of `number`. Returns its severity.
int WriteReport(unsigned number, const MsgArg* args, size_t count) {
  char text[kFormattedSize];
  int severity = kSevSevere;
  size_t text_len = FormatMessageText(number, args, count, text, sizeof text, &severity);
  EnsureStderrTarget();
  char* buffer = Sys::ClaimReportBuffer();
  if (buffer) {
    size_t used = BuildLine(buffer, Sys::kReportBufferSize, severity, number, text, text_len);
    TracebackContext* ctx = Traceback::Context();
    if (TracebackWanted(severity, number, ctx))
      used = Traceback::Append(buffer, used, Sys::kReportBufferSize, Traceback::VerboseWanted());
    WriteOut(buffer, used);
    Sys::ReleaseReportBuffer(buffer);
    return severity;
  }
  // No report buffer: the line alone, in a buffer sized to the text.
  char small[kFallbackSize];
  if (text_len + kFallbackExtra <= sizeof small) {
    WriteOut(small, BuildLine(small, text_len + kFallbackExtra, severity, number, text, text_len));
    return severity;
  }
  char last[128];
  const MsgArg number_arg[] = {MsgArg(number)};
  size_t n = FormatText(text, sizeof text, MessageCatalogue::Find(Msg::kNoReportMemory)->text,
                        number_arg, 1);
  Sys::WriteStderr(last,
                   BuildLine(last, sizeof last, kSevSevere, Code(Msg::kNoReportMemory), text, n));
  return severity;
}

// Ends the process after a severe report.
[[noreturn]] void EndAfterSevere(unsigned number, bool debugger) {
  ExitProcessing();
  Traceback::ReleaseContext();
  if (debugger) Sys::RaiseBreakpoint();
  if (Sys::EnvSwitch("veld77_dump_flag") || Sys::EnvSwitch("legacyveld_dump_flag"))
    Sys::AbortProcess();
  Sys::ExitProcess(static_cast<int>(number));
}

int ReportMessageArgs(unsigned number, const MsgArg* args, size_t count) {
  if (EndingElsewhere()) Sys::ParkThread();
  bool debugger = DebuggerAttached();
  int severity = WriteReport(number, args, count);
  TracebackContext* ctx = Traceback::Context();
  bool continuing = ctx && ctx->continue_flag;
  if (severity < kSevSevere) {
    if (debugger && severity == kSevError && !continuing) Sys::RaiseBreakpoint();
    return static_cast<int>(number);
  }
  if (continuing) return static_cast<int>(number);
  if (!ClaimProcessEnd()) Sys::ParkThread();
  EndAfterSevere(number, debugger);
}

}  // namespace

int ReportMessage(unsigned number, std::initializer_list<MsgArg> args) {
  return ReportMessageArgs(number, args.begin(), args.size());
}

int ReportMessage(unsigned number, const MsgArg* args, size_t count) {
  return ReportMessageArgs(number, args, count);
}

size_t FormatMessage(unsigned number, const MsgArg* args, size_t count, char* out,
                     size_t capacity) {
  int severity;
  return FormatMessageText(number, args, count, out, capacity, &severity);
}

void WriteSystemErrorLine(int error) {
  char text[256];
  Sys::ErrorText(error, text, sizeof text);
  const MsgArg args[] = {MsgArg(MessageCatalogue::PrefixWord()), MsgArg(text)};
  char line[320];
  size_t n = FormatText(line, sizeof line, "%s: %s\r\n", args, 2);
  EnsureStderrTarget();
  Sys::WriteStderr(line, n);
}

void SetUnitsClosingHook(void (*close_units)()) { g_close_units = close_units; }

const char* MessageText(unsigned number, std::initializer_list<MsgArg> args) {
  int severity;
  size_t n = FormatMessageText(number, args.begin(), args.size(), g_message_text,
                               kMessageTextSize - 1, &severity);
  g_message_text[n] = '\0';
  return g_message_text;
}

bool DebuggerAttached() {
  return Sys::TracerAttached() || Sys::EnvSwitch("VELD__IS_DEBUGGER_PRESENT") ||
         Sys::EnvSwitch("VELD_DEBUGGER_IS_PRESENT");
}

int ExitProcessing() {
  if (!ClaimProcessEnd()) Sys::ParkThread();
  if (g_exit_done.exchange(true)) return g_stored_status.load();
  // Info rows of the trap counts, in the order they are reported, with the
  // kind of trap each one counts.
  static const struct {
    Msg row;
    TrapIndex index;
  } kCountRows[] = {{Msg::kUnderflowCount, kTrapUnderflow},
                    {Msg::kOverflowCount, kTrapOverflow},
                    {Msg::kDivideCount, kTrapDivide},
                    {Msg::kInvalidCount, kTrapInvalid},
                    {Msg::kInexactCount, kTrapInexact}};
  for (const auto& c : kCountRows) {
    unsigned count = g_trap_counts[c.index].load();
    if ((g_trap_enabled & (1u << c.index)) && count != 0) ReportMessage(c.row, {count});
  }
  Traceback::ReleaseContext();
  if (g_close_units) g_close_units();
  return g_stored_status.load();
}

void SetStoredExitStatus(int status) { g_stored_status.store(status); }
int StoredExitStatus() { return g_stored_status.load(); }

void SetFloatTrapCounting(unsigned option_word) {
  // Option bits 8..12: overflow, underflow, divide-by-zero, invalid, inexact.
  g_trap_enabled = (option_word >> 8) & 0x1Fu;
}

bool CountFloatTrap(unsigned row) {
  int index = TrapIndexOf(row);
  if (index < 0 || !(g_trap_enabled & (1u << index))) return false;
  g_trap_counts[index].fetch_add(1);
  return true;
}

bool ProcessEndClaimed() {
  uint64_t owner = g_ending_thread.load();
  return owner != 0 && SameProcess(owner);
}

bool ClaimProcessEnd() {
  uint64_t me = ThisThreadKey();
  uint64_t seen = g_ending_thread.load();
  for (;;) {
    if (seen == me) return true;
    if (seen != 0 && SameProcess(seen)) return false;
    if (g_ending_thread.compare_exchange_weak(seen, me)) return true;
  }
}

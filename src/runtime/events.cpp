// Reports of console control events and processor exceptions.
#include "runtime/events.h"

#include <atomic>

#include "runtime/catalogue.h"
#include "runtime/diagnostics.h"
#include "runtime/msg.h"
#include "runtime/traceback.h"
#include "runtime/units.h"
#include "runtime/platform/env.h"
#include "runtime/platform/escape.h"
#include "runtime/platform/memory.h"
#include "runtime/platform/process.h"
#include "runtime/platform/signals.h"

namespace {

// The event that waits for the end of a unit operation; 0 when none.
std::atomic<int> g_pending_event{0};

// Reports the event, closes the units and ends the process, unless the
// process is already ending.
void RunConsoleEvent(Sys::ConsoleEvent event) {
  const char* word = nullptr;
  int status = 0;
  switch (event) {
    case Sys::kEventInterrupt:
      word = "control-C";
      status = kExitControlC;
      break;
    case Sys::kEventBreak:
      word = "control-BREAK";
      status = kExitControlBreak;
      break;
    case Sys::kEventClose:
      word = "window-CLOSE";
      status = kExitWindowClose;
      break;
  }
  if (!word || ProcessEndClaimed() || !ClaimProcessEnd()) return;
  // The event may have interrupted the allocator: nothing is freed from here on.
  Sys::KeepMemoryToEnd();
  ReportMessage(Msg::kConsoleEvent, {word});
  ExitProcessing();
  Sys::ExitProcess(status);
}

// The deferred event, run when the interrupted thread's unit operation ends
// or when one of its system calls was interrupted.
void RunPendingConsoleEvent() {
  const int event = g_pending_event.exchange(0);
  if (event != 0) RunConsoleEvent(static_cast<Sys::ConsoleEvent>(event));
}

// The signal handler. A statement interrupted half-way holds its unit with
// a record in the making, so the event waits until the statement ends;
// otherwise it runs at once.
void OnConsoleEvent(Sys::ConsoleEvent event) {
  if (ProcessEndClaimed()) return;
  if (UnitOperationInProgress()) {
    int none = 0;
    if (g_pending_event.compare_exchange_strong(none, event))
      SetPendingAction(RunPendingConsoleEvent);
    return;
  }
  RunConsoleEvent(event);
}

constexpr unsigned Row(Msg m) { return static_cast<unsigned>(Code(m)); }

bool IsFloatRow(unsigned row) {
  for (Msg m : {Msg::kFloatDivide, Msg::kFloatInexact, Msg::kFloatInvalid, Msg::kFloatOverflow,
                Msg::kFloatUnderflow})
    if (row == static_cast<unsigned>(Code(m))) return true;
  return false;
}

// Runs in the signal handler of the faulting thread.
void OnFault(const Sys::FaultInfo& fault) {
  TracebackContext* ctx = Traceback::Context();
  bool debugger = DebuggerAttached();
  unsigned row = ExceptionRow(fault.kind, fault.detail, fault.stack_overflow);
  // A breakpoint belongs to the debugger when one is attached.
  if (row == Row(Msg::kBreakpoint) && debugger) return;
  if (ctx) {
    ctx->from_exception = true;
    ctx->signal = fault.signal;
    ctx->code = fault.detail;
    ctx->fault_address = fault.address;
    ctx->pc = fault.pc;
    ctx->filter_flag = 1;
    if (debugger) ctx->continue_flag = 1;
  }
  if (IsFloatRow(row)) {
    CountFloatTrap(row);
    // The continue flag gives the error-severity report its traceback.
    if (ctx) ctx->continue_flag = 1;
    ReportMessage(row);
    SetStoredExitStatus(static_cast<int>(row));
    if (ctx) {
      ctx->continue_flag = 0;
      ctx->from_exception = false;
      ctx->filter_flag = 0;
    }
    Sys::Escape(static_cast<int>(row));
    // No escapable body: end here, as the finish would.
    if (!ClaimProcessEnd()) Sys::ParkThread();
    Sys::ExitProcess(ExitProcessing());
  }
  if (row == Row(Msg::kOtherException)) {
    unsigned long code = static_cast<unsigned long>(fault.signal);
    ReportMessage(row, {code, static_cast<long>(fault.signal)});
  } else {
    ReportMessage(row);
  }
  // Back here only while a debugger continues: the fault takes its course.
  if (ctx) ctx->filter_flag = 0;
}

}  // namespace

unsigned ExceptionRow(int kind, int detail, bool stack_overflow) {
  switch (kind) {
    case Sys::kFaultSegment:
      return Row(stack_overflow ? Msg::kStackOverflow : Msg::kAccessViolation);
    case Sys::kFaultBus: return Row(Msg::kMisalignment);
    case Sys::kFaultIllegal:
      return Row(detail == Sys::kDetailPrivileged ? Msg::kPrivilegedInstruction
                                                  : Msg::kIllegalInstruction);
    case Sys::kFaultBreakpoint:
      return Row(detail == Sys::kDetailTrace ? Msg::kSingleStep : Msg::kBreakpoint);
    case Sys::kFaultArithmetic:
      switch (detail) {
        case Sys::kDetailIntDivide: return Row(Msg::kIntDivide);
        case Sys::kDetailIntOverflow: return Row(Msg::kIntOverflow);
        case Sys::kDetailFloatDivide: return Row(Msg::kFloatDivide);
        case Sys::kDetailFloatInexact: return Row(Msg::kFloatInexact);
        case Sys::kDetailFloatInvalid: return Row(Msg::kFloatInvalid);
        case Sys::kDetailFloatOverflow: return Row(Msg::kFloatOverflow);
        case Sys::kDetailFloatUnderflow: return Row(Msg::kFloatUnderflow);
        case Sys::kDetailFloatSubscript: return Row(Msg::kBoundsExceeded);
        default: return Row(Msg::kOtherException);
      }
    default: return Row(Msg::kOtherException);
  }
}

void InstallConsoleEventHandling() {
  Sys::SetInterruptHook(RunPendingAction);
  Sys::InstallConsoleEventHandlers(OnConsoleEvent);
}

void InstallExceptionHandling() {
  // The context also readies the stack walk: the first walk of a process
  // loads the unwinder, which must not happen in a handler.
  Traceback::CreateContext();
  if (Sys::EnvSwitch("VELD_IGNORE_EXCEPTIONS")) return;
  Sys::SetUpAlternateStack();
  Sys::InstallFaultHandlers(OnFault);
}

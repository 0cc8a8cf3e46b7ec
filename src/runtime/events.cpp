// Reports of console control events and processor exceptions.
#include "runtime/events.h"

#include "runtime/catalogue.h"
#include "runtime/diagnostics.h"
#include "runtime/traceback.h"
#include "runtime/platform/env.h"
#include "runtime/platform/escape.h"
#include "runtime/platform/process.h"
#include "runtime/platform/signals.h"

namespace {

constexpr unsigned kMsgEvent = 200;

// Runs on the event thread: report, close the units, end the process.
void OnConsoleEvent(Sys::ConsoleEvent event) {
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
  if (!word) return;
  // A handler of the program's own installed since start-up takes it.
  if (!Sys::ConsoleEventAtDefault(event)) {
    Sys::PassConsoleEvent(event);
    return;
  }
  // The process is already ending on another thread.
  if (!ClaimProcessEnd()) return;
  ReportMessage(kMsgEvent, {word});
  ExitProcessing();
  Sys::ExitProcess(status);
}

bool IsFloatRow(unsigned row) {
  return row == 73 || row == 140 || row == 65 || row == 72 || row == 74;
}

// Runs in the signal handler of the faulting thread.
void OnFault(const Sys::FaultInfo& fault) {
  TracebackContext* ctx = Traceback::Context();
  bool debugger = DebuggerAttached();
  unsigned row = ExceptionRow(fault.kind, fault.detail, fault.stack_overflow);
  // A breakpoint belongs to the debugger when one is attached.
  if (row == 159 && debugger) return;
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
  if (row == 172) {
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
      return stack_overflow ? 170 : 157;
    case Sys::kFaultBus:
      return 158;
    case Sys::kFaultIllegal:
      return detail == Sys::kDetailPrivileged ? 166 : 168;
    case Sys::kFaultBreakpoint:
      return detail == Sys::kDetailTrace ? 160 : 159;
    case Sys::kFaultArithmetic:
      switch (detail) {
        case Sys::kDetailIntDivide: return 164;
        case Sys::kDetailIntOverflow: return 165;
        case Sys::kDetailFloatDivide: return 73;
        case Sys::kDetailFloatInexact: return 140;
        case Sys::kDetailFloatInvalid: return 65;
        case Sys::kDetailFloatOverflow: return 72;
        case Sys::kDetailFloatUnderflow: return 74;
        case Sys::kDetailFloatSubscript: return 161;
        default: return 172;
      }
    default:
      return 172;
  }
}

void InstallConsoleEventHandling() { Sys::StartConsoleEventThread(OnConsoleEvent); }

void InstallExceptionHandling() {
  // The context also readies the stack walk: the first walk of a process
  // loads the unwinder, which must not happen in a handler.
  Traceback::CreateContext();
  if (Sys::EnvSwitch("VELD_IGNORE_EXCEPTIONS")) return;
  Sys::SetUpAlternateStack();
  Sys::InstallFaultHandlers(OnFault);
}

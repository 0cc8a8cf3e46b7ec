// Signals of the run-time: handlers for processor faults on an alternate
// stack, and a thread of the program's own that takes the console signals
// (interrupt, quit, hang-up) with sigwait.
#pragma once
#include <cstdint>

namespace Sys {

// The console events: SIGINT (control-C), SIGQUIT (control-BREAK) and
// SIGHUP (the terminal window closed).
enum ConsoleEvent : int { kEventInterrupt = 1, kEventBreak = 2, kEventClose = 3 };

// Blocks, in the calling thread and so in every thread it creates later, each
// console signal whose disposition is still the default, and starts a thread
// that waits for them with sigwait and calls handler(event) for each. Call
// before any other thread exists. Returns 0 (also when no signal was left at
// its default) or errno, with nothing changed.
int StartConsoleEventThread(void (*handler)(ConsoleEvent event));

// True while the event's signal has its default disposition or is ignored
// (no handler of the program's own).
bool ConsoleEventAtDefault(ConsoleEvent event);

// Runs the program's own handler of the event's signal, if it has one.
// Returns false when there is none.
bool PassConsoleEvent(ConsoleEvent event);

// What raised a fault.
enum FaultKind : int {
  kFaultSegment = 1,   // SIGSEGV
  kFaultBus,           // SIGBUS
  kFaultIllegal,       // SIGILL
  kFaultArithmetic,    // SIGFPE
  kFaultBreakpoint,    // SIGTRAP
  kFaultOtherSignal,   // SIGSYS, SIGXCPU
};

// The detail of a fault, where the system gives one.
enum FaultDetail : int {
  kDetailNone = 0,
  kDetailIntDivide,
  kDetailIntOverflow,
  kDetailFloatDivide,
  kDetailFloatOverflow,
  kDetailFloatUnderflow,
  kDetailFloatInexact,
  kDetailFloatInvalid,
  kDetailFloatSubscript,
  kDetailPrivileged,
  kDetailTrace,
};

// A processor fault as the handler sees it.
struct FaultInfo {
  FaultKind kind;
  FaultDetail detail;
  int signal;           // the signal number (shown for faults without a row)
  uintptr_t address;    // faulting data or code address
  uintptr_t pc;         // instruction address at the fault, 0 when unknown
  uintptr_t sp;         // stack pointer at the fault, 0 when unknown
  bool stack_overflow;  // a segment violation close below the stack pointer
  bool sent;            // sent by a process (kill, raise), not by the processor
};

using FaultHandler = void (*)(const FaultInfo& fault);

// Gives the calling thread an alternate signal stack (static storage), so
// that a stack overflow can still be reported. Returns 0 or errno.
int SetUpAlternateStack();

// Installs `handler` for each fault signal (SIGSEGV, SIGBUS, SIGILL, SIGFPE,
// SIGTRAP, SIGSYS, SIGXCPU) whose disposition is still the default. It runs on
// the alternate stack with the fault and console signals blocked. When it
// returns, the signal gets its default disposition back and takes its default
// course (the faulting instruction runs again; a sent signal is raised again).
// Returns 0 or the errno of the first failure.
int InstallFaultHandlers(FaultHandler handler);

}  // namespace Sys

// Signals of the run-time: handlers for processor faults on an alternate
// stack, and handlers for the console signals (interrupt, quit, hang-up).
#pragma once
#include <cstdint>

namespace Sys {

// The console events: SIGINT (control-C), SIGQUIT (control-BREAK) and
// SIGHUP (the terminal window closed).
enum ConsoleEvent : int { kEventInterrupt = 1, kEventBreak = 2, kEventClose = 3 };

// Installs `handler` for each console signal whose disposition is still the
// default (an ignored one stays ignored, a handler of the program's own stays).
// It runs in the thread that the signal interrupts, with the console signals
// blocked, and must be safe there. Blocking system calls that the signal
// interrupts end with EINTR rather than restarting, so that the platform
// layer runs the interrupt hook (SetInterruptHook) before it retries them.
// Returns 0 or the errno of the first failure.
int InstallConsoleEventHandlers(void (*handler)(ConsoleEvent event));

// Sets the function that runs each time a system call of the platform layer
// was interrupted by a signal, before the call is retried.
void SetInterruptHook(void (*hook)());

// Runs the interrupt hook, if one is set (the retry loops call it).
void RunInterruptHook();

// What raised a fault.
enum FaultKind : int {
  kFaultSegment = 1,  // SIGSEGV
  kFaultBus,          // SIGBUS
  kFaultIllegal,      // SIGILL
  kFaultArithmetic,   // SIGFPE
  kFaultBreakpoint,   // SIGTRAP
  kFaultOtherSignal,  // SIGSYS, SIGXCPU
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

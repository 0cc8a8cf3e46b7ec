// POSIX signals: sigaction with SA_SIGINFO on a sigaltstack for the faults,
// plain handlers for the console signals.
#include "runtime/platform/signals.h"

#include <signal.h>
#include <ucontext.h>

#include <cerrno>

#include "runtime/platform/fault.h"

namespace Sys {
namespace {

FaultHandler g_fault_handler = nullptr;

// Big enough for the report, the stack walk and the exit processing.
constexpr size_t kAltStackSize = 256 * 1024;
alignas(16) char g_alt_stack[kAltStackSize];

// A segment violation this close below the stack pointer (or within a page
// above it) is taken as the stack running out.
constexpr uintptr_t kOverflowReach = 1u << 20;
constexpr uintptr_t kPage = 4096;

struct FaultSignal {
  int signal;
  FaultKind kind;
};
const FaultSignal kFaultSignals[] = {
    {SIGSEGV, kFaultSegment},     {SIGBUS, kFaultBus},         {SIGILL, kFaultIllegal},
    {SIGFPE, kFaultArithmetic},   {SIGTRAP, kFaultBreakpoint}, {SIGSYS, kFaultOtherSignal},
    {SIGXCPU, kFaultOtherSignal},
};

struct EventSignal {
  int signal;
  ConsoleEvent event;
};
const EventSignal kEventSignals[] = {
    {SIGINT, kEventInterrupt}, {SIGQUIT, kEventBreak}, {SIGHUP, kEventClose}};

sigset_t g_event_set;
void (*g_event_handler)(ConsoleEvent) = nullptr;

FaultKind KindOf(int sig) {
  for (const auto& f : kFaultSignals)
    if (f.signal == sig) return f.kind;
  return kFaultOtherSignal;
}

FaultDetail DetailOf(int sig, int code) {
  if (sig == SIGFPE) {
    switch (code) {
      case FPE_INTDIV: return kDetailIntDivide;
      case FPE_INTOVF: return kDetailIntOverflow;
      case FPE_FLTDIV: return kDetailFloatDivide;
      case FPE_FLTOVF: return kDetailFloatOverflow;
      case FPE_FLTUND: return kDetailFloatUnderflow;
      case FPE_FLTRES: return kDetailFloatInexact;
      case FPE_FLTINV: return kDetailFloatInvalid;
      case FPE_FLTSUB: return kDetailFloatSubscript;
      default: return kDetailNone;
    }
  }
  if (sig == SIGILL && (code == ILL_PRVOPC || code == ILL_PRVREG)) return kDetailPrivileged;
  if (sig == SIGTRAP && code == TRAP_TRACE) return kDetailTrace;
  return kDetailNone;
}

void ContextRegisters(void* context, uintptr_t* pc, uintptr_t* sp) {
  *pc = 0;
  *sp = 0;
  if (!context) return;
  auto* uc = static_cast<ucontext_t*>(context);
#if defined(__x86_64__)
  *pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
  *sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_RSP]);
#elif defined(__i386__)
  *pc = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_EIP]);
  *sp = static_cast<uintptr_t>(uc->uc_mcontext.gregs[REG_ESP]);
#elif defined(__aarch64__)
  *pc = static_cast<uintptr_t>(uc->uc_mcontext.pc);
  *sp = static_cast<uintptr_t>(uc->uc_mcontext.sp);
#else
  (void)uc;
#endif
}

void RestoreDefault(int sig) {
  struct sigaction act = {};
  act.sa_handler = SIG_DFL;
  sigemptyset(&act.sa_mask);
  ::sigaction(sig, &act, nullptr);
}

void Trampoline(int sig, siginfo_t* info, void* context) {
  int saved_errno = errno;
  FaultInfo fault = {};
  fault.kind = KindOf(sig);
  fault.signal = sig;
  fault.sent = !info || info->si_code <= 0;
  fault.detail = fault.sent ? kDetailNone : DetailOf(sig, info->si_code);
  fault.address = info ? reinterpret_cast<uintptr_t>(info->si_addr) : 0;
  ContextRegisters(context, &fault.pc, &fault.sp);
  if (sig == SIGSEGV && !fault.sent && fault.sp != 0) {
    uintptr_t a = fault.address, s = fault.sp;
    fault.stack_overflow = (a <= s && s - a < kOverflowReach) || (a > s && a - s < kPage);
  }
  if (g_fault_handler) g_fault_handler(fault);
  RestoreDefault(sig);
  if (fault.sent || sig == SIGTRAP) ::raise(sig);
  errno = saved_errno;
}

void (*g_interrupt_hook)() = nullptr;

void EventTrampoline(int sig) {
  int saved_errno = errno;
  for (const auto& e : kEventSignals)
    if (e.signal == sig && g_event_handler) g_event_handler(e.event);
  errno = saved_errno;
}

bool IsDefault(int sig) {
  struct sigaction old = {};
  if (::sigaction(sig, nullptr, &old) != 0) return false;
  return !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL;
}

}  // namespace

int InstallConsoleEventHandlers(void (*handler)(ConsoleEvent event)) {
  if (int e = CheckFault(kCallOther)) return e;
  g_event_handler = handler;
  sigemptyset(&g_event_set);
  for (const auto& e : kEventSignals) sigaddset(&g_event_set, e.signal);
  for (const auto& e : kEventSignals) {
    // An ignored signal stays ignored (a job started in the background), and
    // one with a handler of the program's own stays with that handler.
    if (!IsDefault(e.signal)) continue;
    struct sigaction act = {};
    act.sa_handler = EventTrampoline;
    act.sa_mask = g_event_set;
    // No SA_RESTART: a blocking call ends with EINTR, so that an event that
    // had to wait can run before the call is retried.
    act.sa_flags = 0;
    if (::sigaction(e.signal, &act, nullptr) != 0) return errno;
  }
  return 0;
}

void SetInterruptHook(void (*hook)()) { g_interrupt_hook = hook; }

void RunInterruptHook() {
  if (g_interrupt_hook) g_interrupt_hook();
}

int SetUpAlternateStack() {
  if (int e = CheckFault(kCallOther)) return e;
  stack_t ss = {};
  ss.ss_sp = g_alt_stack;
  ss.ss_size = kAltStackSize;
  ss.ss_flags = 0;
  if (::sigaltstack(&ss, nullptr) != 0) return errno;
  return 0;
}

int InstallFaultHandlers(FaultHandler handler) {
  if (int e = CheckFault(kCallOther)) return e;
  g_fault_handler = handler;
  struct sigaction act = {};
  act.sa_sigaction = Trampoline;
  act.sa_flags = SA_SIGINFO | SA_ONSTACK;
  sigemptyset(&act.sa_mask);
  for (const auto& f : kFaultSignals) sigaddset(&act.sa_mask, f.signal);
  for (const auto& e : kEventSignals) sigaddset(&act.sa_mask, e.signal);
  int result = 0;
  for (const auto& f : kFaultSignals) {
    if (!IsDefault(f.signal)) continue;
    if (::sigaction(f.signal, &act, nullptr) != 0 && result == 0) result = errno;
  }
  return result;
}

}  // namespace Sys

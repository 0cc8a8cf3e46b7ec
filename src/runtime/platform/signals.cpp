// POSIX signals: sigaction with SA_SIGINFO on a sigaltstack, and a pthread
// waiting in sigwait for the console signals.
#include "runtime/platform/signals.h"

#include <pthread.h>
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

constexpr size_t kEventStackSize = 512 * 1024;

// A segment violation this close below the stack pointer (or within a page
// above it) is taken as the stack running out.
constexpr uintptr_t kOverflowReach = 1u << 20;
constexpr uintptr_t kPage = 4096;

struct FaultSignal {
  int signal;
  FaultKind kind;
};
const FaultSignal kFaultSignals[] = {
    {SIGSEGV, kFaultSegment},    {SIGBUS, kFaultBus},          {SIGILL, kFaultIllegal},
    {SIGFPE, kFaultArithmetic},  {SIGTRAP, kFaultBreakpoint},  {SIGSYS, kFaultOtherSignal},
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

int SignalOf(ConsoleEvent event) {
  for (const auto& e : kEventSignals)
    if (e.event == event) return e.signal;
  return 0;
}

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

void* EventThread(void*) {
  for (;;) {
    int sig = 0;
    if (::sigwait(&g_event_set, &sig) != 0) continue;
    for (const auto& e : kEventSignals)
      if (e.signal == sig && g_event_handler) g_event_handler(e.event);
  }
  return nullptr;
}

bool IsDefault(int sig) {
  struct sigaction old = {};
  if (::sigaction(sig, nullptr, &old) != 0) return false;
  return !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL;
}

}  // namespace

int StartConsoleEventThread(void (*handler)(ConsoleEvent event)) {
  if (int e = CheckFault(kCallOther)) return e;
  sigset_t set, old;
  sigemptyset(&set);
  int taken = 0;
  for (const auto& e : kEventSignals) {
    // An ignored signal stays ignored (a job started in the background), and
    // one with a handler of the program's own stays with that handler.
    if (!IsDefault(e.signal)) continue;
    sigaddset(&set, e.signal);
    ++taken;
  }
  if (taken == 0) return 0;
  g_event_set = set;
  g_event_handler = handler;
  if (int e = ::pthread_sigmask(SIG_BLOCK, &set, &old)) return e;
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  // The report, the stack walk and the closing of the units fit easily; the
  // default stack would take megabytes of address space for a waiting thread.
  pthread_attr_setstacksize(&attr, kEventStackSize);
  pthread_t thread;
  int e = ::pthread_create(&thread, &attr, EventThread, nullptr);
  pthread_attr_destroy(&attr);
  if (e != 0) {
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    g_event_handler = nullptr;
  }
  return e;
}

bool ConsoleEventAtDefault(ConsoleEvent event) {
  int sig = SignalOf(event);
  struct sigaction now = {};
  if (sig == 0 || ::sigaction(sig, nullptr, &now) != 0) return false;
  return !(now.sa_flags & SA_SIGINFO) && (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN);
}

bool PassConsoleEvent(ConsoleEvent event) {
  int sig = SignalOf(event);
  struct sigaction now = {};
  if (sig == 0 || ::sigaction(sig, nullptr, &now) != 0) return false;
  if (now.sa_flags & SA_SIGINFO) {
    if (!now.sa_sigaction) return false;
    siginfo_t info = {};
    info.si_signo = sig;
    now.sa_sigaction(sig, &info, nullptr);
    return true;
  }
  if (now.sa_handler == SIG_DFL || now.sa_handler == SIG_IGN) return false;
  now.sa_handler(sig);
  return true;
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

// POSIX threads for the worker of the output and the processor count.
#include "runtime/platform/thread.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>

#include <cerrno>
#include <new>

#include "runtime/platform/fault.h"

namespace Sys {
namespace {

struct Start {
  void (*body)(void*);
  void* arg;
};

void* Trampoline(void* p) {
  const Start start = *static_cast<Start*>(p);
  delete static_cast<Start*>(p);
  start.body(start.arg);
  return nullptr;
}

}  // namespace

int StartThread(void (*body)(void*), void* arg, ThreadHandle* handle) {
  if (const int e = CheckFault(kCallOther)) return e;
  Start* start = new (std::nothrow) Start{body, arg};
  if (start == nullptr) return ENOMEM;
  // The new thread inherits the mask in force at its creation.
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  pthread_t t;
  const int rc = pthread_create(&t, nullptr, Trampoline, start);
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  if (rc != 0) {
    delete start;
    return rc;
  }
  *handle = static_cast<ThreadHandle>(t);
  return 0;
}

void JoinThread(ThreadHandle handle) {
  CheckFault(kCallOther);
  pthread_join(static_cast<pthread_t>(handle), nullptr);
}

int UsableProcessors() {
  CheckFault(kCallOther);
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  const int n = CPU_COUNT(&set);
  return n > 0 ? n : 1;
}

}  // namespace Sys

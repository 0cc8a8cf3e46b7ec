// POSIX process services of the diagnostics: _exit, abort, raw writes to
// descriptor 2 and log files, /proc/self/status for a tracer, SIGTRAP.
#include "runtime/platform/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include "runtime/platform/fault.h"

namespace Sys {
namespace {

// Static storage: a report made from a signal handler must not allocate.
char g_report_buffer[kReportBufferSize];
std::atomic<bool> g_report_buffer_busy{false};

// One write, repeated only for the part a short write left over.
int WriteRaw(int fd, const char* text, size_t n) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::write(fd, text + done, n - done);
    if (r < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (r == 0) return EIO;
    done += static_cast<size_t>(r);
  }
  return 0;
}

int OpenAppend(const char* path, int* fd) {
  for (;;) {
    int r = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (r >= 0) {
      *fd = r;
      return 0;
    }
    if (errno != EINTR) return errno;
  }
}

}  // namespace

void ExitProcess(int status) {
  CheckFault(kCallOther);
  ::_exit(status);
}

void AbortProcess() {
  CheckFault(kCallOther);
  struct sigaction act = {};
  act.sa_handler = SIG_DFL;
  sigemptyset(&act.sa_mask);
  ::sigaction(SIGABRT, &act, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGABRT);
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
  std::abort();
}

void ParkThread() {
  for (;;) ::pause();
}

long CurrentThreadId() { return static_cast<long>(::syscall(SYS_gettid)); }

long CurrentProcessId() { return static_cast<long>(::getpid()); }

int WriteStderr(const char* text, size_t n) {
  if (int e = CheckFault(kCallWrite)) return e;
  return WriteRaw(2, text, n);
}

int AppendToFile(const char* path, const char* text, size_t n) {
  if (int e = CheckFault(kCallOpen)) return e;
  int fd = -1;
  if (int e = OpenAppend(path, &fd)) return e;
  int e = CheckFault(kCallWrite);
  if (e == 0) e = WriteRaw(fd, text, n);
  CheckFault(kCallClose);
  ::close(fd);
  return e;
}

int ReopenStderrAppend(const char* path) {
  if (int e = CheckFault(kCallOpen)) return e;
  int fd = -1;
  if (int e = OpenAppend(path, &fd)) return e;
  int e = 0;
  if (fd != 2) {
    while (::dup2(fd, 2) < 0) {
      if (errno != EINTR) {
        e = errno;
        break;
      }
    }
    ::close(fd);
  }
  return e;
}

bool TracerAttached() {
  if (CheckFault(kCallOther) != 0) return false;
  int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char buf[4096];
  size_t len = 0;
  for (;;) {
    ssize_t r = ::read(fd, buf + len, sizeof buf - 1 - len);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    len += static_cast<size_t>(r);
    if (len == sizeof buf - 1) break;
  }
  ::close(fd);
  buf[len] = '\0';
  static const char kKey[] = "TracerPid:";
  for (size_t i = 0; i + sizeof kKey - 1 <= len; ++i) {
    if (i != 0 && buf[i - 1] != '\n') continue;
    size_t k = 0;
    while (kKey[k] && buf[i + k] == kKey[k]) ++k;
    if (kKey[k]) continue;
    const char* p = buf + i + k;
    while (*p == ' ' || *p == '\t') ++p;
    bool nonzero = false;
    for (; *p >= '0' && *p <= '9'; ++p)
      if (*p != '0') nonzero = true;
    return nonzero;
  }
  return false;
}

void RaiseBreakpoint() {
  CheckFault(kCallOther);
  // An ignored SIGTRAP still stops a traced process (the tracer sees every
  // signal), while an untraced one carries on: a debugger claimed only by an
  // environment switch cannot kill the run here.
  struct sigaction ignore = {};
  struct sigaction old = {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  if (::sigaction(SIGTRAP, &ignore, &old) != 0) return;
  ::raise(SIGTRAP);
  ::sigaction(SIGTRAP, &old, nullptr);
}

char* ClaimReportBuffer() {
  if (CheckFault(kCallAlloc) != 0) return nullptr;
  bool expected = false;
  if (!g_report_buffer_busy.compare_exchange_strong(expected, true)) return nullptr;
  return g_report_buffer;
}

void ReleaseReportBuffer(char* buffer) {
  if (buffer == g_report_buffer) g_report_buffer_busy.store(false);
}

}  // namespace Sys

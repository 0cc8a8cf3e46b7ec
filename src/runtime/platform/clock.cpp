// Process clocks on POSIX: getrusage for the processor time, the monotonic
// clock for the elapsed real time.
#include "runtime/platform/clock.h"

#include <sys/resource.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "runtime/platform/fault.h"

namespace Sys {
namespace {

// Origin of the elapsed clock in nanoseconds of the monotonic clock; -1 while
// unset.
std::atomic<int64_t> g_origin_ns{-1};

uint64_t Microseconds(const timeval& tv) {
  return static_cast<uint64_t>(tv.tv_sec) * 1000000u + static_cast<uint64_t>(tv.tv_usec);
}

// Reads the monotonic clock in nanoseconds; -1 on failure.
int64_t MonotonicNanoseconds() {
  if (CheckFault(kCallOther) != 0) return -1;
  timespec ts{};
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return -1;
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Sets the origin to `now` unless one is set already; returns the origin.
int64_t FixOrigin(int64_t now) {
  int64_t expected = -1;
  if (g_origin_ns.compare_exchange_strong(expected, now)) return now;
  return expected;
}

}  // namespace

int ProcessTimes(uint64_t* user_us, uint64_t* system_us) {
  *user_us = 0;
  *system_us = 0;
  if (int injected = CheckFault(kCallOther)) return injected;
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return errno;
  *user_us = Microseconds(usage.ru_utime);
  *system_us = Microseconds(usage.ru_stime);
  return 0;
}

void StartElapsedClock() {
  if (g_origin_ns.load() >= 0) return;
  int64_t now = MonotonicNanoseconds();
  if (now >= 0) FixOrigin(now);
}

void RestartElapsedClock() { g_origin_ns.store(MonotonicNanoseconds()); }

uint64_t ElapsedMilliseconds() {
  int64_t now = MonotonicNanoseconds();
  if (now < 0) return 0;
  int64_t origin = FixOrigin(now);
  if (now < origin) return 0;
  return static_cast<uint64_t>(now - origin) / 1000000u;
}

}  // namespace Sys

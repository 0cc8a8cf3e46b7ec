// Processor time of the process: user plus system time, or the elapsed real
// time since start when the process times cannot be read.
#include "runtime/proctime.h"

#include "runtime/platform/clock.h"

float SecondsFromTimes(uint64_t user_us, uint64_t system_us) {
  const double sum = static_cast<double>(system_us) + static_cast<double>(user_us);
  return static_cast<float>(sum / 1000000.0);
}

float SecondsFromElapsed(uint64_t milliseconds) {
  return static_cast<float>(static_cast<double>(milliseconds) / 1000.0);
}

void ProcessorTime(float* result) {
  uint64_t user_us = 0, system_us = 0;
  if (Sys::ProcessTimes(&user_us, &system_us) == 0) *result = SecondsFromTimes(user_us, system_us);
  else *result = SecondsFromElapsed(Sys::ElapsedMilliseconds());
}

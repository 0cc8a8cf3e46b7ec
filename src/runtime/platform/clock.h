// Process clocks: the processor time the process has used (user and system)
// and the real time elapsed since the run-time started.
#pragma once
#include <cstdint>

namespace Sys {

// User and system processor time of the whole process (all its threads), in
// microseconds. Returns 0 or the errno value of the failure (outputs then 0).
int ProcessTimes(uint64_t* user_us, uint64_t* system_us);

// Fixes the origin of ElapsedMilliseconds; later calls keep the first origin.
void StartElapsedClock();

// Sets the origin of ElapsedMilliseconds to now (a process that starts its
// run over, such as a forked child, measures from here).
void RestartElapsedClock();

// Milliseconds of real (monotonic) time since the origin, which is set by the
// first call of StartElapsedClock or of this function. 0 when the clock
// cannot be read.
uint64_t ElapsedMilliseconds();

}  // namespace Sys

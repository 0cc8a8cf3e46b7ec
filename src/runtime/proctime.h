// Processor time of the process.
#pragma once
#include <cstdint>

// Stores the user plus system time of the process in seconds.
void ProcessorTime(float* result);

// Seconds of processor time from the two times in microseconds: each count
// converted to double exactly, summed and divided in double, then rounded
// to single precision.
float SecondsFromTimes(uint64_t user_us, uint64_t system_us);

// Seconds from the elapsed real-time clock in milliseconds (the fallback when
// the process times cannot be had).
float SecondsFromElapsed(uint64_t milliseconds);

// Processor time of the process.
#pragma once

// Stores the user plus system time of the process in seconds.
void ProcessorTime(float* result);

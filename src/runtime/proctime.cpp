// Placeholder: replaced by the processor-time implementation.
#include "runtime/proctime.h"
void ProcessorTime(float* result) { *result = 0.0f; }

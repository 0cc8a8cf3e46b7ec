// The processor probe and the floating-point control of the computation.
#pragma once
#include <cstdint>

// Cached processor class (0 until probed). Probes on first use.
uint32_t ProcessorClass();

// Request bits: 1 flush-to-zero, 2 denormals-are-zero, 4 control bit 17.
void SetFloatControl(unsigned request);

// Sets the flush-to-zero bit of the SSE control and status register only.
void SetFlushToZero();

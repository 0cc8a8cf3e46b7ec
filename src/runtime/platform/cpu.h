// Processor access for the floating-point control (x86): identification,
// extended state, the SSE control register and the x87 control word.
#pragma once
#include <cstdint>

namespace Sys {

// Registers returned by one leaf of the identification instruction.
struct CpuidRegs {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// True when the identification instruction is available at all.
bool CpuidAvailable();

// Runs leaf `leaf` (sub-leaf 0). False, with zero registers, when the leaf is
// beyond the highest one the processor reports.
bool Cpuid(uint32_t leaf, CpuidRegs* regs);

// Extended control register 0 (which register states the system enables).
// Only valid when leaf 1 reports OSXSAVE.
uint64_t ReadXcr0();

// The mask word of the SSE control register (bytes 28-31 of the state saved
// into a zeroed 512-byte area); 0 when the processor leaves it zero.
uint32_t SavedMxcsrMask();

// The SSE control and status register.
uint32_t ReadMxcsr();
void WriteMxcsr(uint32_t value);

// The x87 control word.
uint16_t ReadX87Control();
void WriteX87Control(uint16_t value);

}  // namespace Sys

// Processor access for the floating-point control through compiler
// intrinsics and single instructions; nothing here is a system call.
#include "runtime/platform/cpu.h"

#if !defined(__x86_64__) && !defined(__i386__)
#error "the floating-point control is written for x86 processors"
#endif

#include <cpuid.h>
#include <immintrin.h>

#include <cstring>

namespace Sys {

bool CpuidAvailable() { return __get_cpuid_max(0, nullptr) != 0; }

bool Cpuid(uint32_t leaf, CpuidRegs* regs) {
  *regs = CpuidRegs{};
  unsigned a = 0, b = 0, c = 0, d = 0;
  if (!__get_cpuid_count(leaf, 0, &a, &b, &c, &d)) return false;
  regs->eax = a;
  regs->ebx = b;
  regs->ecx = c;
  regs->edx = d;
  return true;
}

__attribute__((target("xsave"))) uint64_t ReadXcr0() { return _xgetbv(0); }

__attribute__((target("fxsr"))) uint32_t SavedMxcsrMask() {
  alignas(16) unsigned char area[512];
  std::memset(area, 0, sizeof area);
  _fxsave(area);
  uint32_t mask = 0;
  std::memcpy(&mask, area + 28, sizeof mask);
  return mask;
}

uint32_t ReadMxcsr() { return _mm_getcsr(); }

void WriteMxcsr(uint32_t value) { _mm_setcsr(value); }

uint16_t ReadX87Control() {
  uint16_t word = 0;
  __asm__ __volatile__("fnstcw %0" : "=m"(word));
  return word;
}

void WriteX87Control(uint16_t value) { __asm__ __volatile__("fldcw %0" : : "m"(value)); }

}  // namespace Sys

// The processor probe (a class by vendor, family and features) and the
// floating-point control: flush-to-zero, denormals-are-zero, exception masks.
#include "runtime/floatctl.h"

#include <atomic>
#include <cfenv>
#include <cstring>

#include "runtime/platform/cpu.h"

namespace {

// Leaf 1 feature bits.
constexpr uint32_t kEdxMmx = 1u << 23;
constexpr uint32_t kEdxFxsr = 1u << 24;
constexpr uint32_t kEdxSse = 1u << 25;
constexpr uint32_t kEdxSse2 = 1u << 26;
constexpr uint32_t kEcxSse3 = 1u << 0;
constexpr uint32_t kEcxPclmulqdq = 1u << 1;
constexpr uint32_t kEcxSsse3 = 1u << 9;
constexpr uint32_t kEcxSse41 = 1u << 19;
constexpr uint32_t kEcxSse42 = 1u << 20;
constexpr uint32_t kEcxMovbe = 1u << 22;
constexpr uint32_t kEcxPopcnt = 1u << 23;
constexpr uint32_t kEcxAes = 1u << 25;
constexpr uint32_t kEcxOsxsave = 1u << 27;
constexpr uint32_t kEcxAvx = 1u << 28;
constexpr uint64_t kXcr0SseAvx = 0x6;  // SSE and AVX register state enabled

// Option word bits.
constexpr uint32_t kOptTrapUnderflow = 1u << 0;
constexpr uint32_t kOptTrapOverflow = 1u << 1;
constexpr uint32_t kOptTrapDivide = 1u << 2;
constexpr uint32_t kOptTrapInvalid = 1u << 3;
constexpr uint32_t kOptTrapInexact = 1u << 4;
constexpr uint32_t kOptFlushToZero = 1u << 16;

// x87 control word exception masks.
constexpr uint16_t kX87Invalid = 0x01;
constexpr uint16_t kX87Divide = 0x04;
constexpr uint16_t kX87Overflow = 0x08;
constexpr uint16_t kX87Underflow = 0x10;
constexpr uint16_t kX87Inexact = 0x20;

std::atomic<uint32_t> g_class{0};

bool Has(uint32_t word, uint32_t bits) { return (word & bits) == bits; }

uint32_t ClassifyFamily6(const CpuIdentity& id) {
  const uint32_t c = id.leaf1_ecx, d = id.leaf1_edx;
  uint32_t cls = Has(d, kEdxMmx) ? 0x10 : 4;
  if (Has(d, kEdxFxsr)) cls = Has(d, kEdxSse) ? 0x80 : 0x20;
  if (Has(d, kEdxSse2)) cls = 0x400;
  if (Has(c, kEcxSse3)) cls = 0x800;
  if (Has(c, kEcxSsse3)) cls = 0x1000;
  if (Has(c, kEcxMovbe)) cls = 0x4000;
  if (Has(c, kEcxSse41)) cls = 0x2000;
  if (Has(c, kEcxSse42 | kEcxPopcnt)) cls = 0x8000;
  if (Has(c, kEcxAes | kEcxPclmulqdq)) cls = 0x10000;
  if (Has(c, kEcxOsxsave | kEcxAvx) && Has(static_cast<uint32_t>(id.xcr0), kXcr0SseAvx))
    cls = 0x20000;
  return cls;
}

}  // namespace

CpuIdentity ReadCpuIdentity() {
  CpuIdentity id;
  id.available = Sys::CpuidAvailable();
  if (!id.available) return id;
  Sys::CpuidRegs r;
  if (!Sys::Cpuid(0, &r)) return id;
  std::memcpy(id.vendor + 0, &r.ebx, 4);
  std::memcpy(id.vendor + 4, &r.edx, 4);
  std::memcpy(id.vendor + 8, &r.ecx, 4);
  id.has_leaf1 = Sys::Cpuid(1, &r);
  id.leaf1_eax = r.eax;
  id.leaf1_ecx = r.ecx;
  id.leaf1_edx = r.edx;
  if (Has(id.leaf1_ecx, kEcxOsxsave | kEcxAvx)) id.xcr0 = Sys::ReadXcr0();
  return id;
}

uint32_t ClassifyProcessor(const CpuIdentity& id) {
  if (!id.available || std::memcmp(id.vendor, "GenuineVardo", 12) != 0) return kClassGeneric;
  if (!id.has_leaf1) return kClassGeneric;
  const uint32_t d = id.leaf1_edx;
  switch ((id.leaf1_eax >> 8) & 0xF) {
    case 5: return Has(d, kEdxMmx) ? 8 : 2;
    case 6: return ClassifyFamily6(id);
    case 15: {
      uint32_t cls = Has(d, kEdxSse2) ? 0x200 : kClassGeneric;
      if (Has(id.leaf1_ecx, kEcxSse3)) cls = 0x800;
      return cls;
    }
    default: return kClassGeneric;
  }
}

uint32_t ProcessorClass() {
  uint32_t cls = g_class.load(std::memory_order_acquire);
  if (cls != 0) return cls;
  cls = ClassifyProcessor(ReadCpuIdentity());
  // Every prober computes the same value; the first store wins.
  uint32_t expected = 0;
  g_class.compare_exchange_strong(expected, cls, std::memory_order_acq_rel);
  return g_class.load(std::memory_order_acquire);
}

uint32_t FloatControlWord(uint32_t csr, unsigned request, uint32_t class_bits,
                          uint32_t mxcsr_mask) {
  if (class_bits < kClassSse) return csr;
  if (!(mxcsr_mask & kMxcsrDenormalsAreZero)) request &= ~2u;
  if (!(mxcsr_mask & kMxcsrBit17)) request &= ~4u;
  if (request & 1u) csr |= kMxcsrFlushToZero;
  if (request & 2u) csr |= kMxcsrDenormalsAreZero;
  if (request & 4u) csr |= kMxcsrBit17;
  return csr;
}

void SetFloatControl(unsigned request) {
  const uint32_t cls = ProcessorClass();
  if (cls < kClassSse) return;
  // The saved state is read only when a request needs the mask word.
  const uint32_t mask = (request & 6u) ? Sys::SavedMxcsrMask() : 0;
  const uint32_t csr = Sys::ReadMxcsr();
  const uint32_t updated = FloatControlWord(csr, request, cls, mask);
  if (updated != csr) Sys::WriteMxcsr(updated);
}

void SetFlushToZero() { Sys::WriteMxcsr(Sys::ReadMxcsr() | kMxcsrFlushToZero); }

void EnterComputationMode() {
  // Flush-to-zero and denormals-are-zero where the processor class allows
  // them; flush-to-zero is then set on every processor.
  SetFloatControl(kComputeFloatRequest);
  SetFlushToZero();
}

uint16_t X87ControlFromOption(uint16_t word, uint32_t option) {
  struct Pair {
    uint32_t option;
    uint16_t mask;
  };
  static constexpr Pair kPairs[] = {
      {kOptTrapUnderflow, kX87Underflow}, {kOptTrapOverflow, kX87Overflow},
      {kOptTrapDivide, kX87Divide},       {kOptTrapInvalid, kX87Invalid},
      {kOptTrapInexact, kX87Inexact},
  };
  for (const Pair& p : kPairs) {
    if (option & p.option) word = static_cast<uint16_t>(word & ~p.mask);
    else word = static_cast<uint16_t>(word | p.mask);
  }
  return word;
}

uint32_t SseControlFromOption(uint32_t csr, uint32_t option, uint32_t class_bits,
                              uint32_t mxcsr_mask) {
  if (class_bits < kClassSse) return csr;
  struct Pair {
    uint32_t option;
    uint32_t mask;
  };
  static constexpr Pair kPairs[] = {
      {kOptTrapUnderflow, kMxcsrUnderflowMask}, {kOptTrapOverflow, kMxcsrOverflowMask},
      {kOptTrapDivide, kMxcsrDivideMask},       {kOptTrapInvalid, kMxcsrInvalidMask},
      {kOptTrapInexact, kMxcsrInexactMask},
  };
  csr |= kMxcsrAllMasks;
  for (const Pair& p : kPairs)
    if (option & p.option) csr &= ~p.mask;
  if (option & kOptFlushToZero) {
    csr |= kMxcsrFlushToZero | kMxcsrUnderflowMask;
    if (class_bits >= kClassDazCapable && (mxcsr_mask & kMxcsrDenormalsAreZero))
      csr |= kMxcsrDenormalsAreZero;
  }
  return csr;
}

void ApplyFloatOption(uint32_t option) {
  Sys::WriteX87Control(X87ControlFromOption(Sys::ReadX87Control(), option));
  const uint32_t cls = ProcessorClass();
  if (cls < kClassSse) return;
  const uint32_t mask = (option & kOptFlushToZero) ? Sys::SavedMxcsrMask() : 0;
  Sys::WriteMxcsr(SseControlFromOption(Sys::ReadMxcsr(), option, cls, mask));
}

void ClearFloatStatus() { std::feclearexcept(FE_ALL_EXCEPT); }

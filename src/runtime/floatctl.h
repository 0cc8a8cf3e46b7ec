// The processor probe and the floating-point control of the computation.
#pragma once
#include <cstdint>

// Cached processor class (0 until probed). Probes on first use.
uint32_t ProcessorClass();

// Request bits: 1 flush-to-zero, 2 denormals-are-zero, 4 control bit 17.
void SetFloatControl(unsigned request);

// Sets the flush-to-zero bit of the SSE control and status register only.
void SetFlushToZero();

// The floating-point mode of the computation, entered once before the
// program reads its files: every result that would be subnormal is flushed
// to zero, the single-precision arithmetic the tables and the stepping were
// specified with. Rounding stays to nearest, ties to even, and every
// exception stays masked. On the processors classed for it the
// denormals-are-zero bit is also set, so that subnormal operands read as
// zero; on every other processor they are used as they are.
void EnterComputationMode();

// The request EnterComputationMode hands to SetFloatControl before it sets
// flush-to-zero itself (flush-to-zero and denormals-are-zero).
constexpr unsigned kComputeFloatRequest = 3;

// Bits of the SSE control and status register used here.
constexpr uint32_t kMxcsrDenormalsAreZero = 0x0040;
constexpr uint32_t kMxcsrInvalidMask = 0x0080;
constexpr uint32_t kMxcsrDivideMask = 0x0200;
constexpr uint32_t kMxcsrOverflowMask = 0x0400;
constexpr uint32_t kMxcsrUnderflowMask = 0x0800;
constexpr uint32_t kMxcsrInexactMask = 0x1000;
constexpr uint32_t kMxcsrAllMasks = 0x1F80;  // the five above and denormal operand
constexpr uint32_t kMxcsrFlushToZero = 0x8000;
constexpr uint32_t kMxcsrBit17 = 1u << 17;

// Processor classes that decide what the control set-up does.
constexpr uint32_t kClassGeneric = 1;
constexpr uint32_t kClassSse = 0x80;          // from here on SetFloatControl acts
constexpr uint32_t kClassDazCapable = 0x200;  // from here on start-up may set DAZ

// What the identification instruction told about the processor: the input of
// the classification, so that it can be computed for any processor.
struct CpuIdentity {
  bool available = false;  // the instruction exists
  char vendor[13] = {};    // leaf 0: EBX, EDX, ECX as text
  bool has_leaf1 = false;
  uint32_t leaf1_eax = 0;  // family in bits 8-11
  uint32_t leaf1_ecx = 0;
  uint32_t leaf1_edx = 0;
  uint64_t xcr0 = 0;  // read only when OSXSAVE and AVX are reported
};

// Reads the identity of this processor.
CpuIdentity ReadCpuIdentity();

// The processor class for `id`: 1 for every processor but those whose vendor
// is "GenuineVardo", which are classed by family and features.
uint32_t ClassifyProcessor(const CpuIdentity& id);

// The SSE control register after SetFloatControl(request) on a processor with
// the given class and saved mask word, starting from `csr`.
uint32_t FloatControlWord(uint32_t csr, unsigned request, uint32_t class_bits, uint32_t mxcsr_mask);

// Start-up set-up from the floating-point option word `option`: the x87
// control word (only the five exception masks change; the x87 unit has no
// denormal control bit, so it always keeps subnormal values) and the SSE
// control register (changed only on SSE-class processors).
uint16_t X87ControlFromOption(uint16_t word, uint32_t option);
uint32_t SseControlFromOption(uint32_t csr, uint32_t option, uint32_t class_bits,
                              uint32_t mxcsr_mask);

// Applies both of the above to this thread.
void ApplyFloatOption(uint32_t option);

// Clears the floating-point status flags (the sticky exception flags).
void ClearFloatStatus();

// Tests of the processor probe (fake identification results), the control
// words, and the arithmetic after the set-up (in child processes).
#include "runtime/floatctl.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfenv>
#include <cmath>
#include <cstring>

#include "runtime/platform/cpu.h"
#include "support/run.h"

namespace {

using testsupport::RunInChild;
using testsupport::TempDir;

constexpr uint32_t kMmx = 1u << 23, kFxsr = 1u << 24, kSse = 1u << 25, kSse2 = 1u << 26;
constexpr uint32_t kSse3 = 1u << 0, kPclmul = 1u << 1, kSsse3 = 1u << 9, kSse41 = 1u << 19,
                   kSse42 = 1u << 20, kMovbe = 1u << 22, kPopcnt = 1u << 23, kAes = 1u << 25,
                   kOsxsave = 1u << 27, kAvx = 1u << 28;

CpuIdentity Fake(const char* vendor, uint32_t family, uint32_t ecx, uint32_t edx,
                 uint64_t xcr0 = 0) {
  CpuIdentity id;
  id.available = true;
  std::memcpy(id.vendor, vendor, 12);
  id.has_leaf1 = true;
  const uint32_t base = family > 15 ? 15 : family;  // family 16 and up: 15 + extended
  id.leaf1_eax = base << 8 | (family > 15 ? (family - 15) << 20 : 0);
  id.leaf1_ecx = ecx;
  id.leaf1_edx = edx;
  id.xcr0 = xcr0;
  return id;
}

TEST(ProcessorClassTest, ClassFromIdentification) {
  const char* v = "GenuineVardo";
  const uint32_t p6 = kMmx | kFxsr | kSse | kSse2;
  struct Case {
    const char* name;
    CpuIdentity id;
    uint32_t want;
  } cases[] = {
      {"other vendor, every feature", Fake("SomeoneElse!", 6, ~0u, ~0u, 7), 1},
      {"vendor differs in its last byte", Fake("GenuineVard0", 6, 0, kFxsr | kSse), 1},
      {"family 5", Fake(v, 5, 0, 0), 2},
      {"family 5 with MMX", Fake(v, 5, 0, kMmx), 8},
      {"family 6 bare", Fake(v, 6, 0, 0), 4},
      {"family 6 MMX", Fake(v, 6, 0, kMmx), 0x10},
      {"family 6 FXSR", Fake(v, 6, 0, kMmx | kFxsr), 0x20},
      {"family 6 SSE without FXSR", Fake(v, 6, 0, kMmx | kSse), 0x10},
      {"family 6 FXSR and SSE", Fake(v, 6, 0, kFxsr | kSse), 0x80},
      {"family 6 SSE2", Fake(v, 6, 0, p6), 0x400},
      {"family 6 SSE3", Fake(v, 6, kSse3, p6), 0x800},
      {"family 6 SSSE3", Fake(v, 6, kSse3 | kSsse3, p6), 0x1000},
      {"family 6 MOVBE", Fake(v, 6, kSsse3 | kMovbe, p6), 0x4000},
      {"family 6 SSE4.1 replaces MOVBE", Fake(v, 6, kSsse3 | kMovbe | kSse41, p6), 0x2000},
      {"family 6 SSE4.2 without POPCNT", Fake(v, 6, kSse41 | kSse42, p6), 0x2000},
      {"family 6 SSE4.2 with POPCNT", Fake(v, 6, kSse41 | kSse42 | kPopcnt, p6), 0x8000},
      {"family 6 AES without PCLMULQDQ", Fake(v, 6, kSse42 | kPopcnt | kAes, p6), 0x8000},
      {"family 6 AES with PCLMULQDQ", Fake(v, 6, kAes | kPclmul, p6), 0x10000},
      {"family 6 AVX enabled", Fake(v, 6, kAes | kPclmul | kOsxsave | kAvx, p6, 0x7), 0x20000},
      {"family 6 AVX state off", Fake(v, 6, kAes | kPclmul | kOsxsave | kAvx, p6, 0x3), 0x10000},
      {"family 6 AVX without OSXSAVE", Fake(v, 6, kAes | kPclmul | kAvx, p6, 0x7), 0x10000},
      {"family 15 bare", Fake(v, 15, 0, kMmx | kFxsr | kSse), 1},
      {"family 15 SSE2", Fake(v, 15, 0, kSse2), 0x200},
      {"family 15 SSE3", Fake(v, 15, kSse3, kSse2), 0x800},
      {"family 15 SSE3 without SSE2", Fake(v, 15, kSse3, 0), 0x800},
      {"extended family 16 reads as 15", Fake(v, 16, 0, kSse2), 0x200},
      {"family 4", Fake(v, 4, ~0u, ~0u), 1},
      {"family 7", Fake(v, 7, ~0u, ~0u), 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ClassifyProcessor(c.id), c.want);
  }
  CpuIdentity none;
  EXPECT_EQ(ClassifyProcessor(none), 1u);
}

TEST(ProcessorClassTest, ThisMachine) {
  const CpuIdentity id = ReadCpuIdentity();
  ASSERT_TRUE(id.available);
  const uint32_t cls = ProcessorClass();
  EXPECT_EQ(cls, ClassifyProcessor(id));
  EXPECT_EQ(ProcessorClass(), cls);
  if (std::memcmp(id.vendor, "GenuineVardo", 12) != 0) {
    EXPECT_EQ(cls, 1u);
  }
}

TEST(FloatControlTest, ControlWordByClassAndMask) {
  const uint32_t start = 0x1F80;
  const uint32_t full = 0xFFFF | kMxcsrBit17;
  struct Case {
    const char* name;
    unsigned request;
    uint32_t cls, mask, want;
  } cases[] = {
      {"generic class changes nothing", 7, 1, full, start},
      {"class just below SSE", 7, 0x7F, full, start},
      {"flush-to-zero", 1, 0x80, 0, start | 0x8000},
      {"both, mask supports DAZ", 3, 0x80, 0xFFFF, start | 0x8040},
      {"both, mask lacks DAZ", 3, 0x400, 0xFFBF, start | 0x8000},
      {"DAZ alone", 2, 0x800, 0xFFFF, start | 0x0040},
      {"bit 17 supported", 4, 0x80, full, start | kMxcsrBit17},
      {"bit 17 unsupported", 4, 0x80, 0xFFFF, start},
      {"no request", 0, 0x20000, full, start},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FloatControlWord(start, c.request, c.cls, c.mask), c.want);
  }
}

TEST(FloatControlTest, StartupControlFromOptionWord) {
  // The x87 control word: precision 0x300, rounding 0xC00 and the
  // denormal-operand mask 0x02 never change.
  struct X87Case {
    uint16_t word;
    uint32_t option;
    uint16_t want;
  } x87[] = {
      {0x0000, 0, 0x003D},        {0x0F02, 0, 0x0F3F},       {0x037F, 0x1F, 0x0342},
      {0x0340, 1u << 16, 0x037D}, {0x0000, 1u << 3, 0x003C}, {0x037F, 1u << 0, 0x036F},
  };
  for (const X87Case& c : x87) {
    SCOPED_TRACE(testing::Message() << std::hex << c.word << " option " << c.option);
    EXPECT_EQ(X87ControlFromOption(c.word, c.option), c.want);
  }
  struct SseCase {
    uint32_t csr, option, cls, mask, want;
  } sse[] = {
      {0x0000, 0, 1, 0xFFFF, 0x0000},               // not SSE-class: untouched
      {0x6000, 0, 0x80, 0xFFFF, 0x7F80},            // all masks, rounding kept
      {0x8040, 0, 0x80, 0xFFFF, 0x9FC0},            // W = 0 leaves FTZ and DAZ as they are
      {0x0000, 1u << 0, 0x80, 0, 0x1780},           // trap underflow
      {0x0000, 0x1F, 0x80, 0, 0x0100},              // trap all five
      {0x0000, 1u << 16, 0x80, 0xFFFF, 0x9F80},     // flush, no DAZ below 0x200
      {0x0000, 1u << 16, 0x200, 0xFFFF, 0x9FC0},    // flush and DAZ
      {0x0000, 1u << 16, 0x200, 0xFFBF, 0x9F80},    // mask lacks DAZ
      {0x0000, (1u << 16) | 1u, 0x200, 0, 0x9F80},  // flush sets the underflow mask again
  };
  for (const SseCase& c : sse) {
    SCOPED_TRACE(testing::Message() << std::hex << c.csr << " option " << c.option);
    EXPECT_EQ(SseControlFromOption(c.csr, c.option, c.cls, c.mask), c.want);
  }
}

// Child-process checks return 0 on success and a distinct code per failure.
TEST(FloatControlTest, ComputationAfterDriverSetUp) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    const uint32_t before = Sys::ReadMxcsr();
    SetFloatControl(3);
    SetFlushToZero();
    const uint32_t after = Sys::ReadMxcsr();
    if (after != (before | kMxcsrFlushToZero)) return 1;  // only FTZ on this machine kind
    volatile float a = 1e-20f, b = 1e-20f;
    float product = a * b;  // 1e-40: subnormal without flushing
    if (product != 0.0f || std::signbit(product)) return 2;
    volatile float neg = -1e-20f;
    float negative = neg * b;
    if (negative != 0.0f || !std::signbit(negative)) return 3;
    volatile float smallest_normal = 1.17549435e-38f;
    if (smallest_normal * 1.0f != 1.17549435e-38f) return 4;
    // A subnormal operand (2^-140) is kept: its product with 2^20 is the
    // normal value 2^-120, not the zero that denormals-are-zero would give.
    volatile float sub = std::bit_cast<float>(uint32_t{1} << 9);
    if (std::bit_cast<uint32_t>(static_cast<float>(sub)) != (1u << 9)) return 5;
    float scaled = sub * 1048576.0f;
    if (scaled != std::ldexp(1.0f, -120)) return 6;
    return 0;
  });
  if (ProcessorClass() < kClassSse) {
    EXPECT_EQ(r.status, 0) << r.err;
  } else {
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err;  // DAZ may be on there
  }
}

TEST(FloatControlTest, ClassifyOnlyRequestChangesNothing) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    Sys::WriteMxcsr(0x1F80 | 0x2000);  // round down, everything masked
    SetFloatControl(0);
    if (Sys::ReadMxcsr() != (0x1F80 | 0x2000)) return 1;
    SetFlushToZero();
    if (Sys::ReadMxcsr() != (0x1F80 | 0x2000 | 0x8000)) return 2;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST(FloatControlTest, ApplyOptionMasksX87AndLeavesTheRest) {
  TempDir dir;
  auto r = RunInChild(dir.path(), [] {
    Sys::WriteX87Control(0x0C40);  // single precision, toward zero, five unmasked
    const uint32_t csr = 0x1F80 & ~kMxcsrOverflowMask;
    Sys::WriteMxcsr(csr);
    std::feraiseexcept(FE_DIVBYZERO);
    ApplyFloatOption(0);
    if (Sys::ReadX87Control() != 0x0C7D) return 1;
    if (ProcessorClass() < kClassSse && Sys::ReadMxcsr() != (csr | FE_DIVBYZERO)) return 2;
    ClearFloatStatus();
    if (std::fetestexcept(FE_ALL_EXCEPT) != 0) return 3;
    return 0;
  });
  EXPECT_EQ(r.status, 0) << r.err;
}

}  // namespace

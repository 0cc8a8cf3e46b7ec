// The floating-point mode of the library's calls.
#include "api/fpmode.h"

#include "runtime/floatctl.h"
#include "runtime/platform/cpu.h"
#include "runtime/startup.h"

uint32_t SteppingModeWord() {
  // The program starts from the power-on word, applies the start-up option,
  // then the body's request and flush-to-zero.
  const uint32_t cls = ProcessorClass();
  const uint32_t mask = cls >= kClassSse ? Sys::SavedMxcsrMask() : 0;
  uint32_t word = SseControlFromOption(kIeeeModeWord, kFloatOptionWord, cls, mask);
  word = FloatControlWord(word, kComputeFloatRequest, cls, mask);
  return word | kMxcsrFlushToZero;
}

FloatModeScope::FloatModeScope(uint32_t word) : saved_(Sys::ReadMxcsr()) { Sys::WriteMxcsr(word); }

FloatModeScope::~FloatModeScope() { Sys::WriteMxcsr(saved_); }

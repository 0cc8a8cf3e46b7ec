// The floating-point mode of the library's calls: the program's computing
// mode for the stepping, the IEEE default for the fatigue, set on entry and
// the caller's mode given back on return.
#pragma once
#include <cstdint>

// The SSE control word in which the program steps on this processor: every
// exception masked, round to nearest, flush-to-zero, and denormals-are-zero
// where the program's start-up and body would set it.
uint32_t SteppingModeWord();

// Every exception masked, round to nearest, subnormals kept.
constexpr uint32_t kIeeeModeWord = 0x1F80;

// Sets a control word for the lifetime of the object; the caller's word,
// status flags included, comes back on destruction.
class FloatModeScope {
 public:
  explicit FloatModeScope(uint32_t word);
  ~FloatModeScope();
  FloatModeScope(const FloatModeScope&) = delete;
  FloatModeScope& operator=(const FloatModeScope&) = delete;

 private:
  uint32_t saved_;
};

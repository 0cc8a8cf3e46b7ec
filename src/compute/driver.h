// The program body: connects the files, reads the backbone and the strain
// history, computes the stresses and writes them.
#pragma once
#include <cstdint>

#include "compute/tables.h"

// The state of the run: the backbone and branch tables and the histories.
struct ProgramState {
  Tables tables;
  float* DEF = nullptr;  // strain history, entries 0..M
  float* SIG = nullptr;  // stress history, entries 0..M
};
extern ProgramState g_program;

// The floating-point control the body asks for (SetFloatControl: flush to
// zero and denormals are zero, where the processor class allows them) before
// it sets flush-to-zero itself; the computation runs in that mode.
constexpr unsigned kComputeFloatRequest = 3;

// Runs the program body once. Failures end the process through the
// diagnostics; a normal run returns.
void RunProgram();

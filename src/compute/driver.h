// The program body: connects the files, reads the backbone and the strain
// history, computes the stresses and writes them.
#pragma once
#include <cstdint>

#include "compute/tables.h"
#include "runtime/progress.h"

// The state of the run: the backbone and branch tables and the histories.
struct ProgramState {
  Tables tables;
  float* DEF = nullptr;  // strain history, entries 0..M
  float* SIG = nullptr;  // stress history, entries 0..M
};
extern ProgramState g_program;

// Runs the program body once. Failures end the process through the
// diagnostics; a normal run returns.
void RunProgram();

// The steps of the body, for programs that run the same job without writing
// "output.txt". Failures end the process through the diagnostics, with the
// same messages and statuses as in RunProgram.

// Units of the job's files.
constexpr int kUnitBackbone = 1;  // "input.txt"
constexpr int kUnitHistory = 2;   // "deformacia.txt"
constexpr int kUnitResults = 3;   // "output.txt"

// Flush-to-zero and the locking mode of the run.
void PrepareRun();

// Connects `unit` to the file `name` with status UNKNOWN (a missing file is
// created empty) and every other default.
void ConnectJobFile(int unit, const char* name);

// Reads N from unit 1, creates the tables and reads the group PARAMETRE.
void ReadBackboneInput(Tables& t);

// Counts and reads the strain history of unit 2 into the new arrays
// state.DEF and state.SIG. Returns M, the index of the last entry (-1 never
// comes back: an empty history ends the run).
int64_t ReadStrainHistory(ProgramState& state);

// ReadStrainHistory in two steps, for a thread that steps the history while
// it is read: the count, the arrays and the rewind of unit 2 (returns M)...
int64_t PrepareStrainHistory(ProgramState& state);
// ...then the read of DEF(0..M), which tells `progress` (when set) how many
// entries are stored, all M + 1 of them once the read has succeeded.
void ReadStrainValues(ProgramState& state, int64_t m, Progress* progress);

// Steps the history: DEF(0) = SIG(0) = 0, then the stresses SIG(1..M).
void ComputePath(Tables& t, float* def, float* sig, int64_t m);

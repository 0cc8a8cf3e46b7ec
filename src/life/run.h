// The run of hysteresis-life: the path (computed from the job or read from a
// path file), the loop count with the damage of every cycle, and the reports.
#pragma once
#include "life/options.h"

namespace Life {

// Runs the whole program with `o` inside the run-time's start-up and finish
// and returns the exit status: the run-time's after a diagnostic, otherwise
// an ExitCode.
int RunLifeProcess(const Options& o);

}  // namespace Life

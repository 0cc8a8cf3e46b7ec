// The process sequence: processor probe, start-up, the program body inside
// the floating-point exception handler, then the finish.
#include "app/process.h"

#include "compute/driver.h"
#include "runtime/floatctl.h"
#include "runtime/startup.h"

int RunProcess(void (*body)()) {
  SetFloatControl(0);
  StartRuntime();
  // A floating-point exception report abandons the body and comes back here;
  // the files are closed and its row number becomes the exit status either way.
  RunGuardedBody(body);
  return FinishRuntime();
}

int ProcessMain() { return RunProcess(RunProgram); }

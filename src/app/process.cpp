// The process sequence: processor probe, start-up, the program body inside
// the floating-point exception handler, then the finish.
#include "app/process.h"

#include "compute/driver.h"
#include "runtime/floatctl.h"
#include "runtime/startup.h"

int ProcessMain() {
  SetFloatControl(0);
  StartRuntime();
  RunProgram();
  return FinishRuntime();
}

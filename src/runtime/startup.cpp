// Placeholder: replaced by the start-up implementation.
#include "runtime/startup.h"
#include "runtime/diagnostics.h"
void StartRuntime() {}
int FinishRuntime() { return ExitProcessing(); }

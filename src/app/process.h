// The process sequence: start-up, the program body, finish.
#pragma once

// Runs the whole program as main() does and returns its exit status.
int ProcessMain();

// The same sequence around another body: SetFloatControl(0), StartRuntime,
// the body (abandoned after a floating-point exception report), then
// FinishRuntime, whose result is returned.
int RunProcess(void (*body)());

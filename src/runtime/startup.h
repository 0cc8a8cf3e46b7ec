// Run-time start-up and finish around the program body.
#pragma once

// One-time initialisation; later calls return at once.
void StartRuntime();

// Finish after the program body: closes the message catalogue, runs the exit
// processing and returns the exit status.
int FinishRuntime();

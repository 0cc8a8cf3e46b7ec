// The program body: connects the files, reads the backbone and the strain
// history, computes the stresses and writes them.
#pragma once

// Runs the program body once. Failures end the process through the
// diagnostics; a normal run returns.
void RunProgram();

// The process sequence: start-up, the program body, finish.
#pragma once

// Runs the whole program as main() does and returns its exit status.
int ProcessMain();

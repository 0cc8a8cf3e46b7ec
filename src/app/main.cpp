// The process entry of hysteresis: the run-time starts from the initialiser
// table before main, and main runs the process sequence.
#include "app/process.h"
#include "runtime/startentry.h"

int main() { return ProcessMain(); }

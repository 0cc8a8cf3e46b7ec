// The process entry of hysteresis: the run-time starts from the initialiser
// table before main, and main runs the process sequence.
#include "app/process.h"
#include "runtime/startup.h"

namespace {

// Runs from the C runtime's initialiser table before main, which passes the
// argument vector to its entries. Only the program itself has this entry, so
// test and fuzz executables that link the run-time start it when they choose.
void StartBeforeMain(int argc, char** argv, char**) {
  SetCommandLineWords(argc, argv);
  StartRuntime();
}

__attribute__((section(".init_array"),
               used)) void (*const kStartBeforeMain)(int, char**, char**) = StartBeforeMain;

}  // namespace

int main() { return ProcessMain(); }
